#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shared/programming_error.hpp"

namespace twinlens {

// The domain of every error record the property-list library makes itself, and of the
// platform's readers and writers of Apple's property lists (platform/plist_value.hpp tells the two
// models apart).
inline constexpr const char* kPListErrorDomain = "PListErrorDomain";
// Its one code: the bytes or the tree are not a property list that can be read or written
// (malformed, an unknown node, nesting too deep, a number that does not parse).
inline constexpr std::int32_t kPListMalformedError = -1;

// Type codes, stored in the binary form and tested by every reader and writer. 0 is no node.
inline constexpr int kNoNodeType = 0;
inline constexpr int kIntegerNodeType = 1;
inline constexpr int kStringNodeType = 2;
inline constexpr int kBooleanNodeType = 4;
inline constexpr int kRealNodeType = 8;
inline constexpr int kArrayNodeType = 16;
inline constexpr int kDictNodeType = 32;

// The deepest nesting of containers (the root dictionary counts as one) that the readers accept:
// deep enough for any real tree, shallow enough for the stack, and within the XML parser's own
// limit, so a tree read from either form can be written to the other and read back.
inline constexpr int kMaxPListNestingDepth = 200;

// One node of a property-list tree, the system's own model for its own formats and the
// preferences; Apple's files are read into the platform's PListValue instead
// (platform/plist_value.hpp says why there are two). Nodes are shared: a container holds a counted
// reference to each child, and one node may sit in several places. A tree has no locks; one thread
// at a time.
class PListNode {
 public:
  virtual ~PListNode() = default;

  virtual int type() const = 0;
  // A new node of the same class with a copy of everything beneath it; it shares no node with
  // this one and is equal to it.
  virtual std::shared_ptr<PListNode> copy() const = 0;
  // True for the same object, false for null or a node of another class, else the typed test.
  virtual bool isEqual(const PListNode* other) const = 0;
  // Agrees with isEqual(): equal nodes have equal hashes.
  virtual std::uint64_t hash() const = 0;
  // One line for logs, naming the class and the node's address.
  virtual std::string description() const = 0;
};

using PListNodePtr = std::shared_ptr<PListNode>;
using PListNodeList = std::vector<PListNodePtr>;

// A writer met a node whose type code is none of the six (or a null node): a programming error.
class InvalidPListNodeTypeException : public ProgrammingError {
 public:
  explicit InvalidPListNodeTypeException(int type);
  int nodeType() const { return type_; }

 private:
  int type_;
};

// An internal limit of a format was broken by the tree handed to it (a container too large to
// count in the binary form): a programming error of the caller.
class InternalInconsistencyException : public ProgrammingError {
 public:
  using ProgrammingError::ProgrammingError;
};

}  // namespace twinlens
