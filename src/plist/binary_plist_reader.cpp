#include "plist/binary_plist_reader.hpp"

#include "io/boolean_io.hpp"
#include "io/double_io.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"

namespace twinlens {

namespace {

// Leaves the container level on every way out of a container read.
struct DepthScope {
  int& depth;
  ~DepthScope() { --depth; }
};

}  // namespace

BinaryPListReader::BinaryPListReader(std::shared_ptr<BufferedInputStream> is) : is_(std::move(is)) {
  if (!is_) throw ProgrammingError("BinaryPListReader needs a stream");
}

bool BinaryPListReader::enterContainer(ErrorRecord* error) {
  if (++depth_ <= kMaxNestingDepth) return true;
  TL_SET_ERROR(error, this, kPListErrorDomain, kPListMalformedError,
               "nesting deeper than %d levels", kMaxNestingDepth);
  return false;
}

PListNodePtr BinaryPListReader::readPListNode(ErrorRecord* error) {
  std::int32_t tag;
  if (!IntegerIO::readInt32(&tag, *is_, error)) return nullptr;
  switch (tag) {
    case kIntegerNodeType:
      return readInteger(error);
    case kStringNodeType:
      return readString(error);
    case kBooleanNodeType:
      return readBoolean(error);
    case kRealNodeType:
      return readReal(error);
    case kArrayNodeType:
      return readArray(error);
    case kDictNodeType:
      return readDict(error);
    default:
      TL_SET_ERROR(error, this, kPListErrorDomain, kPListMalformedError, "invalid node type");
      return nullptr;
  }
}

std::shared_ptr<DictNode> BinaryPListReader::readDict(ErrorRecord* error) {
  DepthScope scope{depth_};
  if (!enterContainer(error)) return nullptr;
  std::uint32_t count;
  if (!IntegerIO::readUInt32(&count, *is_, error)) return nullptr;
  auto dict = std::make_shared<DictNode>();
  for (std::uint32_t i = 0; i < count; ++i) {
    std::optional<std::string> key;
    if (!StringIO::read(&key, *is_, error)) return nullptr;
    // A key holding a zero byte could not be written back as itself: texts are cut there.
    if (!key || key->find('\0') != std::string::npos) {
      TL_SET_ERROR(error, this, kPListErrorDomain, kPListMalformedError, "invalid dictionary key");
      return nullptr;
    }
    PListNodePtr node = readPListNode(error);
    if (!node) return nullptr;
    dict->put(std::move(node), std::move(*key));
  }
  return dict;
}

std::shared_ptr<ArrayNode> BinaryPListReader::readArray(ErrorRecord* error) {
  DepthScope scope{depth_};
  if (!enterContainer(error)) return nullptr;
  std::uint32_t count;
  if (!IntegerIO::readUInt32(&count, *is_, error)) return nullptr;
  PListNodeList nodes;
  for (std::uint32_t i = 0; i < count; ++i) {
    PListNodePtr node = readPListNode(error);
    if (!node) return nullptr;
    nodes.push_back(std::move(node));
  }
  return std::make_shared<ArrayNode>(std::move(nodes));
}

std::shared_ptr<StringNode> BinaryPListReader::readString(ErrorRecord* error) {
  std::optional<std::string> value;
  if (!StringIO::read(&value, *is_, error)) return nullptr;
  return std::make_shared<StringNode>(std::move(value));
}

std::shared_ptr<IntegerNode> BinaryPListReader::readInteger(ErrorRecord* error) {
  std::int64_t value;
  if (!IntegerIO::readInt64(&value, *is_, error)) return nullptr;
  return std::make_shared<IntegerNode>(value);
}

std::shared_ptr<RealNode> BinaryPListReader::readReal(ErrorRecord* error) {
  double value;
  if (!DoubleIO::read(&value, *is_, error)) return nullptr;
  return std::make_shared<RealNode>(value);
}

std::shared_ptr<BooleanNode> BinaryPListReader::readBoolean(ErrorRecord* error) {
  bool value;
  if (!BooleanIO::read(&value, *is_, error)) return nullptr;
  return std::make_shared<BooleanNode>(value);
}

}  // namespace twinlens
