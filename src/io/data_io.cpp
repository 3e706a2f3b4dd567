#include "io/data_io.hpp"

#include "io/integer_io.hpp"

namespace twinlens {

void DataIO::write(std::span<const std::uint8_t> block, Data& to) {
  IntegerIO::writeUInt64(block.size(), to);
  to.insert(to.end(), block.begin(), block.end());
}

bool DataIO::read(std::optional<Data>* value, BufferedInputStream& from, ErrorRecord* error) {
  value->reset();
  std::uint64_t length;
  if (!IntegerIO::readUInt64(&length, from, error)) return false;
  std::optional<Data> block = from.readExactly(length, error);
  if (!block) return false;
  *value = std::move(block);
  return true;
}

}  // namespace twinlens
