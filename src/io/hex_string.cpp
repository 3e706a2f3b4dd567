#include "io/hex_string.hpp"

namespace twinlens {

std::string hexStringWithBytes(const std::uint8_t* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(length * 2, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0f];
  }
  return text;
}

}  // namespace twinlens
