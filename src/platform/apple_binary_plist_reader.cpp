#include "platform/apple_binary_plist_reader.hpp"

#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <typeinfo>
#include <unordered_map>

#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_text.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;
// Objects may be referred to many times; the tree they make, counted in nodes and bytes of key
// text, may be this many times the document's size and no more.
constexpr std::uint64_t kBudgetPerByte = 32;

// One parse of one document: the trailer's fields, and the budget of nodes left to make.
class Parse {
 public:
  explicit Parse(const Data& data) : data_(data) {}

  std::shared_ptr<DictNode> run(ErrorRecord* error) {
    error_ = error;
    if (!readTrailer()) return nullptr;
    budget_ = kBudgetPerByte * data_.size();
    PListNodePtr root = object(topObject_, 1);
    if (!root) return nullptr;
    auto dict = std::dynamic_pointer_cast<DictNode>(root);
    if (!dict) fail("the top object is not a dictionary");
    return dict;
  }

 private:
  std::nullptr_t fail(const std::string& message) {
    if (!failed_)
      TL_SET_ERROR(error_, &typeid(AppleBinaryPListReader), kPListErrorDomain, kPListMalformedError,
                   "binary property list: %s", message.c_str());
    failed_ = true;
    return nullptr;
  }
  bool refuse(const std::string& message) {
    fail(message);
    return false;
  }
  std::nullopt_t missing(const std::string& message) {
    fail(message);
    return std::nullopt;
  }
  // Takes `cost` from the budget of what the tree may hold.
  bool spend(std::uint64_t cost) {
    if (cost > budget_) return refuse("shared objects add up to more than the document could hold");
    budget_ -= cost;
    return true;
  }

  // `size` bytes at `offset` as a big-endian unsigned number; the caller checked the range.
  std::uint64_t number(std::size_t offset, std::size_t size) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = (value << 8) | data_[offset + i];
    return value;
  }

  bool readTrailer() {
    if (data_.size() < kHeaderSize + kTrailerSize || !AppleBinaryPListReader::hasMagic(data_))
      return refuse("too short or no \"bplist00\" header");
    std::size_t trailer = data_.size() - kTrailerSize;
    offsetSize_ = data_[trailer + 6];
    refSize_ = data_[trailer + 7];
    std::uint64_t count = number(trailer + 8, 8);
    std::uint64_t top = number(trailer + 16, 8);
    std::uint64_t table = number(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
      return refuse("invalid offset or reference size");
    if (table < kHeaderSize || table > trailer || count == 0 ||
        count > (trailer - table) / offsetSize_)
      return refuse("offset table outside the document");
    if (top >= count) return refuse("top object out of range");
    if (refSize_ < 8 && count > (std::uint64_t{1} << (8 * refSize_)))
      return refuse("more objects than references can name");
    objectCount_ = count;
    topObject_ = top;
    tableOffset_ = static_cast<std::size_t>(table);
    return true;
  }

  // Where object `index` starts, checked to lie between the header and the offset table.
  std::optional<std::size_t> offsetOf(std::uint64_t index) {
    if (index >= objectCount_) return missing("object reference out of range");
    std::uint64_t offset =
        number(tableOffset_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
    if (offset < kHeaderSize || offset >= tableOffset_)
      return missing("object offset outside the document");
    return static_cast<std::size_t>(offset);
  }

  // Whether `length` bytes from `offset` lie before the offset table.
  bool fits(std::size_t offset, std::uint64_t length) const {
    return offset <= tableOffset_ && length <= tableOffset_ - offset;
  }

  // The count in a marker's low four bits, or in the integer that follows when they are all set;
  // *start is moved past the marker and count to the object's contents.
  std::optional<std::uint64_t> count(std::size_t* start) {
    std::uint8_t low = data_[*start] & 0x0F;
    *start += 1;
    if (low != 0x0F) return low;
    if (!fits(*start, 1) || (data_[*start] & 0xF0) != 0x10) return missing("invalid object count");
    std::size_t sizeCode = data_[*start] & 0x0F;
    if (sizeCode > 3 || !fits(*start + 1, std::size_t{1} << sizeCode))
      return missing("invalid object count");
    std::size_t size = std::size_t{1} << sizeCode;
    std::uint64_t value = number(*start + 1, size);
    *start += 1 + size;
    return value;
  }

  PListNodePtr object(std::uint64_t index, int depth) {
    if (!spend(1)) return nullptr;
    std::optional<std::size_t> offset = offsetOf(index);
    if (!offset) return nullptr;
    std::uint8_t marker = data_[*offset];
    switch (marker >> 4) {
      case 0x0:
        if (marker == 0x08 || marker == 0x09) return std::make_shared<BooleanNode>(marker == 0x09);
        break;
      case 0x1:
        return integer(*offset, marker & 0x0F);
      case 0x2:
        return real(*offset, marker & 0x0F);
      case 0x5:
      case 0x6:
        return string(index, *offset);
      case 0xA:
      case 0xD:
        if (depth > kMaxPListNestingDepth)
          return fail(formatText("nesting deeper than %d levels", kMaxPListNestingDepth));
        return marker >> 4 == 0xA ? array(*offset, depth) : dictionary(*offset, depth);
    }
    return fail(formatText("object of type 0x%02X has no place in preferences", marker));
  }

  PListNodePtr integer(std::size_t offset, int sizeCode) {
    std::size_t size = std::size_t{1} << sizeCode;
    if (sizeCode > 3 || !fits(offset + 1, size)) return fail("invalid integer");
    std::uint64_t value = number(offset + 1, size);
    // Only the eight-byte form is signed.
    return std::make_shared<IntegerNode>(static_cast<std::int64_t>(value));
  }

  PListNodePtr real(std::size_t offset, int sizeCode) {
    if ((sizeCode != 2 && sizeCode != 3) || !fits(offset + 1, std::size_t{1} << sizeCode))
      return fail("invalid real");
    if (sizeCode == 2)
      return std::make_shared<RealNode>(
          std::bit_cast<float>(static_cast<std::uint32_t>(number(offset + 1, 4))));
    return std::make_shared<RealNode>(std::bit_cast<double>(number(offset + 1, 8)));
  }

  std::optional<std::string> text(std::size_t offset) {
    bool wide = data_[offset] >> 4 == 0x6;
    std::size_t start = offset;
    std::optional<std::uint64_t> length = count(&start);
    if (!length) return std::nullopt;
    if (*length > tableOffset_ || !fits(start, *length * (wide ? 2 : 1)))
      return missing("string outside the document");
    std::string out;
    for (std::size_t i = 0; i < *length; ++i) {
      char32_t c = wide ? static_cast<char32_t>(number(start + 2 * i, 2)) : data_[start + i];
      if (!wide && c >= 0x80) return missing("ASCII string holds a byte above 0x7F");
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < *length) {
        char32_t low = static_cast<char32_t>(number(start + 2 * (i + 1), 2));
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      if (c >= 0xD800 && c <= 0xDFFF) return missing("unpaired UTF-16 surrogate");
      appendUTF8(c, &out);
    }
    if (!spend(out.size())) return std::nullopt;
    return out;
  }

  // A string read once however often it is referred to: nodes never change, so they are shared.
  PListNodePtr string(std::uint64_t index, std::size_t offset) {
    PListNodePtr& node = strings_[index];
    if (node) return node;
    std::optional<std::string> value = text(offset);
    if (!value) return nullptr;
    node = std::make_shared<StringNode>(std::move(*value));
    return node;
  }

  // The `n` references that start at `start`, checked to lie before the offset table.
  bool references(std::size_t start, std::uint64_t n) {
    if (n > tableOffset_ || !fits(start, n * refSize_))
      return refuse("references outside the document");
    return true;
  }
  std::uint64_t reference(std::size_t start, std::uint64_t i) const {
    return number(start + static_cast<std::size_t>(i) * refSize_, refSize_);
  }

  PListNodePtr array(std::size_t offset, int depth) {
    std::size_t start = offset;
    std::optional<std::uint64_t> n = count(&start);
    if (!n || !references(start, *n)) return nullptr;
    PListNodeList items;
    items.reserve(static_cast<std::size_t>(*n));
    for (std::uint64_t i = 0; i < *n; ++i) {
      PListNodePtr item = object(reference(start, i), depth + 1);
      if (!item) return nullptr;
      items.push_back(std::move(item));
    }
    return std::make_shared<ArrayNode>(std::move(items));
  }

  PListNodePtr dictionary(std::size_t offset, int depth) {
    std::size_t start = offset;
    std::optional<std::uint64_t> n = count(&start);
    if (!n || *n > tableOffset_ || !references(start, 2 * *n)) return nullptr;
    auto dict = std::make_shared<DictNode>();
    for (std::uint64_t i = 0; i < *n; ++i) {
      std::optional<std::size_t> keyOffset = offsetOf(reference(start, i));
      if (!keyOffset) return nullptr;
      if (data_[*keyOffset] >> 4 != 0x5 && data_[*keyOffset] >> 4 != 0x6)
        return fail("dictionary key is not a string");
      std::optional<std::string> key = text(*keyOffset);
      if (!key) return nullptr;
      PListNodePtr value = object(reference(start, *n + i), depth + 1);
      if (!value) return nullptr;
      dict->put(std::move(value), std::move(*key));
    }
    return dict;
  }

  const Data& data_;
  ErrorRecord* error_ = nullptr;
  bool failed_ = false;
  std::size_t offsetSize_ = 0;
  std::size_t refSize_ = 0;
  std::uint64_t objectCount_ = 0;
  std::uint64_t topObject_ = 0;
  std::size_t tableOffset_ = 0;
  std::uint64_t budget_ = 0;
  std::unordered_map<std::uint64_t, PListNodePtr> strings_;
};

}  // namespace

bool AppleBinaryPListReader::hasMagic(const Data& data) {
  return data.size() >= kMagic.size() &&
         std::memcmp(data.data(), kMagic.data(), kMagic.size()) == 0;
}

std::shared_ptr<DictNode> AppleBinaryPListReader::read(const Data& data, ErrorRecord* error) {
  return Parse(data).run(error);
}

}  // namespace twinlens
