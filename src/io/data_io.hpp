#pragma once

#include <optional>
#include <span>

#include "io/buffered_input_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// A byte block: an 8-byte big-endian byte count, then the bytes. An absent block is written as an
// empty one.
class DataIO {
 public:
  static void write(std::span<const std::uint8_t> block, Data& to);

  // Sets *value to absent, then reads one block (present, possibly empty). Fails with the stream's
  // record, as StringIO does; memory grows only with the bytes that arrive.
  [[nodiscard]] static bool read(std::optional<Data>* value, BufferedInputStream& from,
                                 ErrorRecord* error = nullptr);
};

}  // namespace twinlens
