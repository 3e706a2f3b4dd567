#pragma once

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// A boolean as one byte: 01 for true, 00 for false; any non-zero byte reads as true. Failures as
// for IntegerIO; a read first sets *value to false.
class BooleanIO {
 public:
  static void write(bool value, Data& to);
  [[nodiscard]] static bool write(bool value, BufferedOutputStream& to,
                                  ErrorRecord* error = nullptr);
  [[nodiscard]] static bool read(bool* value, BufferedInputStream& from,
                                 ErrorRecord* error = nullptr);
};

}  // namespace twinlens
