#pragma once

#include <cstdint>

#include "plist/plist_node.hpp"
#include "shared/data.hpp"

namespace twinlens {

class ArrayNode;
class BooleanNode;
class DictNode;
class IntegerNode;
class RealNode;
class StringNode;

// Appends trees in the binary node form: a root is stored as its dictionary body alone; a tagged
// node is its type code (big-endian i32) and its body. Bodies: integer i64; string as a StringIO
// text (absent for a node without text); boolean one byte; real as a DoubleIO "%f" text (six
// decimals); array a u32 count and that many tagged nodes; dictionary a u32 count and that many
// key texts each followed by its tagged node, in key order; in a key, bytes that are not UTF-8
// and zero bytes are written as U+FFFD (with a Warn line), as the XML writer does, so that the
// reader takes back every key. Nothing else: no signature, version or checksum.
class BinaryPListWriter {
 public:
  explicit BinaryPListWriter(SharedMutableData data) : data_(std::move(data)) {}

  // Appends the body of the root dictionary.
  void write(const DictNode& root) { writeDict(root); }
  // Appends the tag, then the body. Throws InvalidPListNodeTypeException for an unknown type
  // (after the tag is written).
  void writePListNode(const PListNode* node);
  // Throw InternalInconsistencyException, before anything is written, for a container of
  // 4294967295 or more entries.
  void writeDict(const DictNode& node);
  void writeArray(const ArrayNode& node);
  void writeString(const StringNode& node);
  void writeInteger(const IntegerNode& node);
  void writeReal(const RealNode& node);
  void writeBoolean(const BooleanNode& node);

  // The count check of writeDict() and writeArray(): throws InternalInconsistencyException with
  // `reason` unless `count` is below 4294967295.
  static void requireStorableCount(std::uint64_t count, const char* reason);

 private:
  SharedMutableData data_;
};

}  // namespace twinlens
