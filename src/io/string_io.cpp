#include "io/string_io.hpp"

#include <array>
#include <cstring>

#include "io/boolean_io.hpp"
#include "io/integer_io.hpp"

namespace twinlens {

namespace {

// A text up to this long is read straight into a string of its final size: a damaged length can
// cost no more than this before the bytes fail to arrive. Longer texts grow as bytes arrive.
constexpr std::uint64_t kDirectReadLimit = 64 * 1024;
// Encodings up to this size are assembled on the stack before the one write.
constexpr std::size_t kStackEncoding = 512;
constexpr std::size_t kHeaderSize = 9;

std::string_view upToFirstZero(std::string_view text) {
  std::size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

void encodeHeader(std::uint64_t length, std::uint8_t* into) {
  into[0] = 1;
  for (int i = 0; i < 8; ++i) into[1 + i] = static_cast<std::uint8_t>(length >> (56 - 8 * i));
}

bool readText(std::uint64_t length, BufferedInputStream& from, std::string* text,
              ErrorRecord* error) {
  if (length <= kDirectReadLimit) {
    text->resize(static_cast<std::size_t>(length));
    return from.readExactly(length, reinterpret_cast<std::uint8_t*>(text->data()), error);
  }
  std::optional<Data> block = from.readExactly(length, error);
  if (!block) return false;
  text->assign(block->begin(), block->end());
  return true;
}

// The length of a well-formed sequence that starts with `lead`, 0 for a byte that cannot start
// one. Second bytes are bounded per lead byte to rule out overlong forms, surrogates and values
// above U+10FFFF.
int sequenceLength(std::uint8_t lead, std::uint8_t* low, std::uint8_t* high) {
  *low = 0x80;
  *high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead == 0xE0) *low = 0xA0;
  if (lead == 0xED) *high = 0x9F;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead == 0xF0) *low = 0x90;
  if (lead == 0xF4) *high = 0x8F;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool isAsciiWord(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080ull) == 0;
}

}  // namespace

void StringIO::write(std::optional<std::string_view> value, Data& to) {
  if (!value) {
    to.push_back(0);
    return;
  }
  std::string_view text = upToFirstZero(*value);
  std::uint8_t header[kHeaderSize];
  encodeHeader(text.size(), header);
  to.insert(to.end(), header, header + kHeaderSize);
  to.insert(to.end(), text.begin(), text.end());
}

bool StringIO::write(std::optional<std::string_view> value, BufferedOutputStream& to,
                     ErrorRecord* error) {
  if (!value) {
    std::uint8_t absent = 0;
    return to.writeExactly(&absent, 1, error);
  }
  std::string_view text = upToFirstZero(*value);
  std::size_t total = kHeaderSize + text.size();
  std::array<std::uint8_t, kStackEncoding> small;
  Data large;
  std::uint8_t* encoding = small.data();
  if (total > small.size()) {
    large.resize(total);
    encoding = large.data();
  }
  encodeHeader(text.size(), encoding);
  std::memcpy(encoding + kHeaderSize, text.data(), text.size());
  return to.writeExactly(encoding, total, error);
}

bool StringIO::read(std::optional<std::string>* value, BufferedInputStream& from,
                    ErrorRecord* error) {
  value->reset();
  bool present;
  if (!BooleanIO::read(&present, from, error)) return false;
  if (!present) return true;
  std::uint64_t length;
  if (!IntegerIO::readUInt64(&length, from, error)) return false;
  std::string text;
  if (!readText(length, from, &text, error)) return false;
  if (isValidUTF8(text)) *value = std::move(text);
  return true;
}

bool StringIO::isValidUTF8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* end = p + bytes.size();
  while (p < end) {
    if (end - p >= 8 && isAsciiWord(p)) {
      p += 8;
      continue;
    }
    if (*p < 0x80) {
      ++p;
      continue;
    }
    std::uint8_t low, high;
    int length = sequenceLength(*p, &low, &high);
    if (length == 0 || end - p < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i < length; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    p += length;
  }
  return true;
}

}  // namespace twinlens
