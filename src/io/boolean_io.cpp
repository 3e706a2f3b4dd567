#include "io/boolean_io.hpp"

namespace twinlens {

void BooleanIO::write(bool value, Data& to) {
  to.push_back(value ? 1 : 0);
}

bool BooleanIO::write(bool value, BufferedOutputStream& to, ErrorRecord* error) {
  std::uint8_t byte = value ? 1 : 0;
  return to.writeExactly(&byte, 1, error);
}

bool BooleanIO::read(bool* value, BufferedInputStream& from, ErrorRecord* error) {
  *value = false;
  std::uint8_t byte;
  if (!from.readExactly(1, &byte, error)) return false;
  *value = byte != 0;
  return true;
}

}  // namespace twinlens
