#include "plist/binary_plist_writer.hpp"

#include "io/boolean_io.hpp"
#include "io/double_io.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_text.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

template <typename Node>
const Node& as(const PListNode* node) {
  const Node* typed = dynamic_cast<const Node*>(node);
  if (!typed) throw InvalidPListNodeTypeException(node->type());
  return *typed;
}

}  // namespace

void BinaryPListWriter::requireStorableCount(std::uint64_t count, const char* reason) {
  if (count >= 0xFFFFFFFFull) throw InternalInconsistencyException(reason);
}

void BinaryPListWriter::writePListNode(const PListNode* node) {
  if (!node) throw InvalidPListNodeTypeException(kNoNodeType);
  IntegerIO::writeInt32(node->type(), *data_);
  switch (node->type()) {
    case kDictNodeType:
      return writeDict(as<DictNode>(node));
    case kArrayNodeType:
      return writeArray(as<ArrayNode>(node));
    case kIntegerNodeType:
      return writeInteger(as<IntegerNode>(node));
    case kStringNodeType:
      return writeString(as<StringNode>(node));
    case kBooleanNodeType:
      return writeBoolean(as<BooleanNode>(node));
    case kRealNodeType:
      return writeReal(as<RealNode>(node));
    default:
      throw InvalidPListNodeTypeException(node->type());
  }
}

void BinaryPListWriter::writeDict(const DictNode& node) {
  std::uint64_t count = static_cast<std::uint64_t>(node.size());
  requireStorableCount(count, "count is greater than uint32_t max!");
  IntegerIO::writeUInt32(static_cast<std::uint32_t>(count), *data_);
  node.forEachEntry([this](const std::string& key, const PListNodePtr& value) {
    // The reader refuses a key that is not UTF-8, and a zero byte would cut it short.
    std::string replaced;
    if (replaceNonUTF8Characters(key, &replaced)) {
      logWarn("key '%s' is not UTF-8 or holds a zero byte; writing those bytes as U+FFFD",
              replaced.c_str());
      StringIO::write(std::string_view(replaced), *data_);
    } else {
      StringIO::write(std::string_view(key), *data_);
    }
    writePListNode(value.get());
  });
}

void BinaryPListWriter::writeArray(const ArrayNode& node) {
  requireStorableCount(node.size(), "size is greater than uint32_t max!");
  IntegerIO::writeUInt32(static_cast<std::uint32_t>(node.size()), *data_);
  for (const PListNodePtr& element : node.list()) writePListNode(element.get());
}

void BinaryPListWriter::writeString(const StringNode& node) {
  const std::optional<std::string>& value = node.stringValue();
  StringIO::write(value ? std::optional<std::string_view>(*value) : std::nullopt, *data_);
}

void BinaryPListWriter::writeInteger(const IntegerNode& node) {
  IntegerIO::writeInt64(node.longlongValue(), *data_);
}

void BinaryPListWriter::writeReal(const RealNode& node) {
  DoubleIO::write(node.doubleValue(), *data_);
}

void BinaryPListWriter::writeBoolean(const BooleanNode& node) {
  BooleanIO::write(node.booleanValue(), *data_);
}

}  // namespace twinlens
