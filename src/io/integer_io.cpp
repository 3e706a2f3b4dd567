#include "io/integer_io.hpp"

#include <array>

namespace twinlens {

namespace {

template <typename Unsigned>
std::array<std::uint8_t, sizeof(Unsigned)> bigEndian(Unsigned value) {
  std::array<std::uint8_t, sizeof(Unsigned)> bytes;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * (bytes.size() - 1 - i)));
  return bytes;
}

template <typename Unsigned>
void append(Unsigned value, Data& to) {
  auto bytes = bigEndian(value);
  to.insert(to.end(), bytes.begin(), bytes.end());
}

template <typename Unsigned>
bool writeTo(Unsigned value, BufferedOutputStream& to, ErrorRecord* error) {
  auto bytes = bigEndian(value);
  return to.writeExactly(bytes.data(), bytes.size(), error);
}

template <typename Unsigned>
bool readFrom(Unsigned* value, BufferedInputStream& from, ErrorRecord* error) {
  *value = 0;
  std::uint8_t bytes[sizeof(Unsigned)];
  if (!from.readExactly(sizeof bytes, bytes, error)) return false;
  Unsigned result = 0;
  for (std::uint8_t byte : bytes) result = static_cast<Unsigned>(result << 8 | byte);
  *value = result;
  return true;
}

}  // namespace

void IntegerIO::writeInt32(std::int32_t value, Data& to) {
  writeUInt32(static_cast<std::uint32_t>(value), to);
}
void IntegerIO::writeUInt32(std::uint32_t value, Data& to) {
  append(value, to);
}
void IntegerIO::writeInt64(std::int64_t value, Data& to) {
  writeUInt64(static_cast<std::uint64_t>(value), to);
}
void IntegerIO::writeUInt64(std::uint64_t value, Data& to) {
  append(value, to);
}

bool IntegerIO::writeInt32(std::int32_t value, BufferedOutputStream& to, ErrorRecord* error) {
  return writeUInt32(static_cast<std::uint32_t>(value), to, error);
}
bool IntegerIO::writeUInt32(std::uint32_t value, BufferedOutputStream& to, ErrorRecord* error) {
  return writeTo(value, to, error);
}
bool IntegerIO::writeInt64(std::int64_t value, BufferedOutputStream& to, ErrorRecord* error) {
  return writeUInt64(static_cast<std::uint64_t>(value), to, error);
}
bool IntegerIO::writeUInt64(std::uint64_t value, BufferedOutputStream& to, ErrorRecord* error) {
  return writeTo(value, to, error);
}

bool IntegerIO::readInt32(std::int32_t* value, BufferedInputStream& from, ErrorRecord* error) {
  std::uint32_t bits;
  bool ok = readUInt32(&bits, from, error);
  *value = static_cast<std::int32_t>(bits);
  return ok;
}
bool IntegerIO::readUInt32(std::uint32_t* value, BufferedInputStream& from, ErrorRecord* error) {
  return readFrom(value, from, error);
}
bool IntegerIO::readInt64(std::int64_t* value, BufferedInputStream& from, ErrorRecord* error) {
  std::uint64_t bits;
  bool ok = readUInt64(&bits, from, error);
  *value = static_cast<std::int64_t>(bits);
  return ok;
}
bool IntegerIO::readUInt64(std::uint64_t* value, BufferedInputStream& from, ErrorRecord* error) {
  return readFrom(value, from, error);
}

}  // namespace twinlens
