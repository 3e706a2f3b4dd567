#include "io/hex_string.hpp"

#include "shared/programming_error.hpp"

namespace twinlens {

namespace {

std::uint8_t hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  throw ProgrammingError("Invalid hex char: not a hex char");
}

}  // namespace

std::string hexStringWithBytes(const std::uint8_t* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(length * 2, '\0');
  for (std::size_t i = 0; i < length; ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 0x0f];
  }
  return text;
}

Data hexStringToData(std::string_view text) {
  // A text with any character outside ASCII has no ASCII form at all, so it is refused whole,
  // even where the odd last character would otherwise be ignored.
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80)
      throw ProgrammingError("Invalid hex char: not a hex char");
  Data bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] =
        static_cast<std::uint8_t>(hexDigitValue(text[2 * i]) << 4 | hexDigitValue(text[2 * i + 1]));
  return bytes;
}

}  // namespace twinlens
