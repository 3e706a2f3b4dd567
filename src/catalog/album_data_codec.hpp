#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/album_data_cache.hpp"
#include "platform/plist_value.hpp"
#include "shared/data.hpp"

namespace twinlens {

// The byte form of an album data cache's tree: a tag byte per value, native-endian numbers, texts
// and byte blocks behind a 32-bit length, containers behind a 32-bit count.
class AlbumDataEncoder {
 public:
  explicit AlbumDataEncoder(Data& out) : out_(out) {}

  template <typename T>
  void number(T value) {
    append(&value, sizeof(T));
  }
  void bytes(const void* data, std::size_t length);
  void text(std::string_view value) { bytes(value.data(), value.size()); }
  void value(const PListValue& value);

 private:
  void append(const void* data, std::size_t length);
  void tag(char kind, std::size_t count);

  Data& out_;
};

// Reads what AlbumDataEncoder wrote, refusing (nullopt or false) anything malformed: a cut or
// over-long item, an unknown tag, nesting deeper than 64, a count beyond the bytes left.
class AlbumDataDecoder {
 public:
  static constexpr std::string_view kMagic = "TLAD";

  AlbumDataDecoder(const std::uint8_t* bytes, std::size_t length)
      : begin_(bytes), at_(bytes), end_(bytes + length) {}
  // The entry at `at` of a file that scannedRoot() accepted.
  static PhotoEntry entryAt(const std::uint8_t* bytes, std::size_t length, std::size_t at);

  template <typename T>
  bool number(T* value) {
    if (remaining() < sizeof(T)) return false;
    std::memcpy(value, at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  bool text(std::string* value);
  bool text(std::string_view* value);
  bool magic();
  std::size_t remaining() const { return static_cast<std::size_t>(end_ - at_); }

  std::optional<PListValue> value(int depth);
  // The root as value(0) reads it, but with the entries of a "Master Image List" dictionary read
  // straight into their fields; refuses exactly what value(0) refuses.
  std::optional<ScannedAlbumData> scannedRoot();

 private:
  template <typename T, typename Make>
  std::optional<PListValue> scalar(Make make);
  bool count(std::uint32_t* value, std::size_t leastItemSize);
  std::optional<PListValue> dictionary(int depth);
  std::optional<PListValue> array(int depth);
  std::optional<ScannedAlbumData::Images> images(int depth);
  std::optional<PhotoEntry> entry(int depth);

  const std::uint8_t* begin_;
  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

}  // namespace twinlens
