#pragma once

#include <memory>

#include "io/buffered_input_stream.hpp"
#include "plist/plist_node.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

class ArrayNode;
class BooleanNode;
class DictNode;
class IntegerNode;
class RealNode;
class StringNode;

// Reads trees in the form BinaryPListWriter writes, from the stream's current position; it never
// reads past the tree. Every read returns the node, or null with: the stream's record unchanged
// ("BufferedInputStreamErrorDomain" -4 when the data ends inside a node), the DoubleIO record for
// a real stored as an absent text, or "PListErrorDomain" -1 for "invalid node type", a dictionary
// key that is absent, not UTF-8 or holds a zero byte ("invalid dictionary key"), or containers
// nested more than kMaxNestingDepth deep. A count is never trusted for an allocation; a count
// larger than the data only leads to the end-of-data failure. No partial tree is returned.
class BinaryPListReader {
 public:
  static constexpr int kMaxNestingDepth = kMaxPListNestingDepth;

  // A null stream is a caller error (ProgrammingError).
  explicit BinaryPListReader(std::shared_ptr<BufferedInputStream> is);

  // One root dictionary body.
  std::shared_ptr<DictNode> read(ErrorRecord* error = nullptr) { return readDict(error); }
  // A tag, then the body it names.
  PListNodePtr readPListNode(ErrorRecord* error = nullptr);
  std::shared_ptr<DictNode> readDict(ErrorRecord* error = nullptr);
  std::shared_ptr<ArrayNode> readArray(ErrorRecord* error = nullptr);
  std::shared_ptr<StringNode> readString(ErrorRecord* error = nullptr);
  std::shared_ptr<IntegerNode> readInteger(ErrorRecord* error = nullptr);
  std::shared_ptr<RealNode> readReal(ErrorRecord* error = nullptr);
  std::shared_ptr<BooleanNode> readBoolean(ErrorRecord* error = nullptr);

 private:
  bool enterContainer(ErrorRecord* error);

  std::shared_ptr<BufferedInputStream> is_;
  int depth_ = 0;
};

}  // namespace twinlens
