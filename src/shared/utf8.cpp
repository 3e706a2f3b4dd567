#include "shared/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace twinlens {

namespace {

// The length of a sequence that starts with `lead`, 0 for a byte that cannot start one. Second
// bytes are bounded per lead byte to rule out overlong forms, surrogates and values above
// U+10FFFF.
std::size_t sequenceLength(std::uint8_t lead, std::uint8_t* low, std::uint8_t* high) {
  *low = 0x80;
  *high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead == 0xE0) *low = 0xA0;
  if (lead == 0xED) *high = 0x9F;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead == 0xF0) *low = 0x90;
  if (lead == 0xF4) *high = 0x8F;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool isAsciiWord(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ull) == 0;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[at + k]); };
  std::uint8_t low, high;
  std::size_t length = sequenceLength(byte(0), &low, &high);
  if (length <= 1) return length;
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  return length;
}

char32_t decodeUTF8(std::string_view text, std::size_t at, std::size_t* length) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[at + k]); };
  *length = utf8SequenceLength(text, at);
  if (*length <= 1) {
    char32_t value = *length == 1 ? byte(0) : kNotUTF8;
    *length = 1;
    return value;
  }
  char32_t value = byte(0) & (0x7F >> *length);
  for (std::size_t k = 1; k < *length; ++k) value = value << 6 | (byte(k) & 0x3F);
  return value;
}

bool isValidUTF8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    if (bytes.size() - i >= 8 && isAsciiWord(bytes.data() + i)) {
      i += 8;
      continue;
    }
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = utf8SequenceLength(bytes, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace twinlens
