#pragma once

#include <optional>

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/data.hpp"
#include "shared/date.hpp"

namespace twinlens {

// A date that may be absent: one presence byte, then, when present, the signed 64-bit big-endian
// milliseconds since 1970-01-01 00:00:00 UTC, truncated toward zero (and held to the 64-bit
// range). A read first sets *value to absent; failures as for IntegerIO.
class DateIO {
 public:
  static void write(const std::optional<Date>& value, Data& to);
  [[nodiscard]] static bool write(const std::optional<Date>& value, BufferedOutputStream& to,
                                  ErrorRecord* error = nullptr);
  [[nodiscard]] static bool read(std::optional<Date>* value, BufferedInputStream& from,
                                 ErrorRecord* error = nullptr);
};

}  // namespace twinlens
