#include "catalog/album_data_codec.hpp"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <vector>

namespace twinlens {

namespace {

constexpr int kMaxDepth = 64;
constexpr std::string_view kImageList = "Master Image List";
// Less than any real image entry takes in the file: bounds what a forged count reserves.
constexpr std::size_t kLeastEntrySize = 64;
const PListValue kNull = PListValue::null();

// Ascending keys, a repeated key's last entry kept, as a tree's dictionary holds them; the order
// a cache file is written in already.
void inTreeOrder(ScannedAlbumData::Images& entries) {
  auto notAscending = [](const auto& a, const auto& b) { return a.key >= b.key; };
  if (std::adjacent_find(entries.begin(), entries.end(), notAscending) == entries.end()) return;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.key < b.key; });
  ScannedAlbumData::Images kept;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (i + 1 == entries.size() || entries[i].key != entries[i + 1].key) kept.push_back(entries[i]);
  entries = std::move(kept);
}

}  // namespace

void AlbumDataEncoder::bytes(const void* data, std::size_t length) {
  number(static_cast<std::uint32_t>(length));
  append(data, length);
}

void AlbumDataEncoder::value(const PListValue& value) {
  switch (value.type()) {
    case PListValue::Type::Dictionary:
      tag('d', value.dictionaryValue()->size());
      for (const auto& [key, entry] : *value.dictionaryValue()) {
        text(key);
        this->value(entry);
      }
      break;
    case PListValue::Type::Array:
      tag('a', value.arrayValue()->size());
      for (const PListValue& item : *value.arrayValue()) this->value(item);
      break;
    case PListValue::Type::Text:
      out_.push_back('t');
      text(*value.textValue());
      break;
    case PListValue::Type::Integer:
      out_.push_back('i');
      number(*value.integerValue());
      break;
    case PListValue::Type::Real:
      out_.push_back('r');
      number(*value.realValue());
      break;
    case PListValue::Type::Boolean:
      out_.push_back(*value.booleanValue() ? 'T' : 'F');
      break;
    case PListValue::Type::Date:
      out_.push_back('D');
      number(value.dateValue()->timeIntervalSinceReferenceDate());
      break;
    case PListValue::Type::Data:
      out_.push_back('x');
      bytes(value.dataValue()->data(), value.dataValue()->size());
      break;
    case PListValue::Type::Null:
      out_.push_back('n');
      break;
  }
}

void AlbumDataEncoder::append(const void* data, std::size_t length) {
  if (length == 0) return;
  std::size_t at = out_.size();
  out_.resize(at + length);
  std::memcpy(out_.data() + at, data, length);
}

void AlbumDataEncoder::tag(char kind, std::size_t count) {
  out_.push_back(static_cast<std::uint8_t>(kind));
  number(static_cast<std::uint32_t>(count));
}

template <typename T, typename Make>
std::optional<PListValue> AlbumDataDecoder::scalar(Make make) {
  T value{};
  bool read;
  if constexpr (std::is_same_v<T, std::string>)
    read = text(&value);
  else
    read = number(&value);
  if (!read) return std::nullopt;
  return make(std::move(value));
}

PhotoEntry AlbumDataDecoder::entryAt(const std::uint8_t* bytes, std::size_t length,
                                     std::size_t at) {
  // Depth 2: an image list's entries sit under the root and the list.
  AlbumDataDecoder decoder(bytes, length);
  decoder.at_ += at;
  return decoder.entry(2).value_or(PhotoEntry());
}

bool AlbumDataDecoder::text(std::string* value) {
  std::string_view view;
  if (!text(&view)) return false;
  value->assign(view);
  return true;
}

bool AlbumDataDecoder::text(std::string_view* value) {
  std::uint32_t length = 0;
  if (!number(&length) || remaining() < length) return false;
  *value = std::string_view(reinterpret_cast<const char*>(at_), length);
  at_ += length;
  return true;
}

bool AlbumDataDecoder::magic() {
  if (remaining() < kMagic.size() || std::memcmp(at_, kMagic.data(), kMagic.size()) != 0)
    return false;
  at_ += kMagic.size();
  return true;
}

std::optional<ScannedAlbumData> AlbumDataDecoder::scannedRoot() {
  ScannedAlbumData scanned;
  if (remaining() < 1 || *at_ != 'd') {
    std::optional<PListValue> tree = value(0);
    if (!tree) return std::nullopt;
    scanned.tree = std::move(*tree);
    return scanned;
  }
  ++at_;
  std::uint32_t size = 0;
  if (!count(&size, 5)) return std::nullopt;
  PListValue::Dictionary::Entries rest;
  for (std::uint32_t i = 0; i < size; ++i) {
    std::string key;
    if (!text(&key)) return std::nullopt;
    const bool imageList = key == kImageList;
    if (imageList && remaining() >= 1 && *at_ == 'd') {
      ++at_;
      scanned.images = images(1);
      if (!scanned.images) return std::nullopt;
      std::erase_if(rest, [](const auto& entry) { return entry.first == kImageList; });
      continue;
    }
    std::optional<PListValue> entry = value(1);
    if (!entry) return std::nullopt;
    if (imageList) scanned.images.reset();
    rest.emplace_back(std::move(key), std::move(*entry));
  }
  scanned.tree = PListValue::dictionary(PListValue::Dictionary(std::move(rest)));
  return scanned;
}

std::optional<PListValue> AlbumDataDecoder::value(int depth) {
  if (depth > kMaxDepth || remaining() < 1) return std::nullopt;
  switch (*at_++) {
    case 'd':
      return dictionary(depth);
    case 'a':
      return array(depth);
    case 't':
      return scalar<std::string>(&PListValue::text);
    case 'i':
      return scalar<std::int64_t>(&PListValue::integer);
    case 'r':
      return scalar<double>(&PListValue::real);
    case 'T':
      return PListValue::boolean(true);
    case 'F':
      return PListValue::boolean(false);
    case 'n':
      return PListValue::null();
    case 'D': {
      double seconds = 0;
      if (!number(&seconds)) return std::nullopt;
      return PListValue::date(Date::withTimeIntervalSinceReferenceDate(seconds));
    }
    case 'x': {
      std::string bytes;
      if (!text(&bytes)) return std::nullopt;
      return PListValue::data(Data(bytes.begin(), bytes.end()));
    }
    default:
      return std::nullopt;
  }
}

// Every item takes at least one byte, so a count beyond what is left is malformed; checking
// first keeps a forged count from reserving memory.
bool AlbumDataDecoder::count(std::uint32_t* value, std::size_t leastItemSize) {
  return number(value) && *value <= remaining() / leastItemSize;
}

std::optional<PListValue> AlbumDataDecoder::dictionary(int depth) {
  std::uint32_t size = 0;
  if (!count(&size, 5)) return std::nullopt;
  PListValue::Dictionary::Entries entries;
  entries.reserve(size);
  for (std::uint32_t i = 0; i < size; ++i) {
    std::string key;
    if (!text(&key)) return std::nullopt;
    std::optional<PListValue> entry = value(depth + 1);
    if (!entry) return std::nullopt;
    entries.emplace_back(std::move(key), std::move(*entry));
  }
  return PListValue::dictionary(PListValue::Dictionary(std::move(entries)));
}

std::optional<PListValue> AlbumDataDecoder::array(int depth) {
  std::uint32_t size = 0;
  if (!count(&size, 1)) return std::nullopt;
  PListValue::Array items;
  items.reserve(size);
  for (std::uint32_t i = 0; i < size; ++i) {
    std::optional<PListValue> item = value(depth + 1);
    if (!item) return std::nullopt;
    items.push_back(std::move(*item));
  }
  return PListValue::array(std::move(items));
}

// The entries of an image list dictionary whose tag is read, in the order of a tree's keys.
std::optional<ScannedAlbumData::Images> AlbumDataDecoder::images(int depth) {
  std::uint32_t size = 0;
  if (!count(&size, 5)) return std::nullopt;
  ScannedAlbumData::Images entries;
  entries.reserve(std::min<std::size_t>(size, remaining() / kLeastEntrySize));
  for (std::uint32_t i = 0; i < size; ++i) {
    std::string_view key;
    if (!text(&key)) return std::nullopt;
    const auto at = static_cast<std::size_t>(at_ - begin_);
    if (!entry(depth + 1)) return std::nullopt;
    entries.push_back({key, at});
  }
  inTreeOrder(entries);
  return entries;
}

std::optional<PhotoEntry> AlbumDataDecoder::entry(int depth) {
  if (depth > kMaxDepth || remaining() < 1) return std::nullopt;
  if (*at_ != 'd') {
    if (!value(depth)) return std::nullopt;
    return PhotoEntry();
  }
  ++at_;
  std::uint32_t size = 0;
  if (!count(&size, 5)) return std::nullopt;
  PhotoEntry fields;
  for (std::uint32_t i = 0; i < size; ++i) {
    std::string_view key;
    if (!text(&key)) return std::nullopt;
    if (depth < kMaxDepth && remaining() >= 1 && *at_ == 't') {
      ++at_;
      std::string_view text;
      if (!this->text(&text)) return std::nullopt;
      fields.take(key, text, kNull);
      continue;
    }
    std::optional<PListValue> item = value(depth + 1);
    if (!item) return std::nullopt;
    fields.take(key, std::nullopt, *item);
  }
  return fields;
}

}  // namespace twinlens
