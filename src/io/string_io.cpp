#include "io/string_io.hpp"

#include <array>
#include <cstring>

#include "io/boolean_io.hpp"
#include "io/integer_io.hpp"
#include "shared/utf8.hpp"

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
  // Most texts lie whole in the buffer already and are copied out of it once.
  if (length > 0 && length <= from.bufferedCount()) {
    from.consumeBuffered(length, [text](const std::uint8_t* bytes, std::uint64_t n) {
      text->assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n));
    });
    return true;
  }
  if (length <= kDirectReadLimit) {
    text->resize(static_cast<std::size_t>(length));
    return from.readExactly(length, reinterpret_cast<std::uint8_t*>(text->data()), error);
  }
  std::optional<Data> block = from.readExactly(length, error);
  if (!block) return false;
  text->assign(block->begin(), block->end());
  return true;
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

}  // namespace twinlens
