#include "io/base64.hpp"

#include <array>

namespace twinlens {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> decodingTable() {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

std::string base64Encode(const Data& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = bytes[i] << 16;
    if (i + 1 < bytes.size()) group |= bytes[i + 1] << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    text.push_back(kAlphabet[group >> 18 & 63]);
    text.push_back(kAlphabet[group >> 12 & 63]);
    text.push_back(i + 1 < bytes.size() ? kAlphabet[group >> 6 & 63] : '=');
    text.push_back(i + 2 < bytes.size() ? kAlphabet[group & 63] : '=');
  }
  return text;
}

std::optional<Data> base64Decode(std::string_view text) {
  static constexpr std::array<std::int8_t, 256> kTable = decodingTable();
  Data bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int filled = 0;
  int padding = 0;
  for (char c : text) {
    if (isSpace(c)) continue;
    if (c == '=') {
      if (filled < 2 || ++padding > 2) return std::nullopt;
      continue;
    }
    std::int8_t value = kTable[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) return std::nullopt;
    group = group << 6 | static_cast<std::uint32_t>(value);
    if (++filled == 4) {
      bytes.push_back(static_cast<std::uint8_t>(group >> 16));
      bytes.push_back(static_cast<std::uint8_t>(group >> 8));
      bytes.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      filled = 0;
    }
  }
  if (filled == 1 || (padding > 0 && filled + padding != 4)) return std::nullopt;
  if (filled == 2) bytes.push_back(static_cast<std::uint8_t>(group >> 4));
  if (filled == 3) {
    bytes.push_back(static_cast<std::uint8_t>(group >> 10));
    bytes.push_back(static_cast<std::uint8_t>(group >> 2));
  }
  return bytes;
}

}  // namespace twinlens
