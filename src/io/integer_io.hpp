#pragma once

#include <cstdint>

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// Integers as 4 or 8 big-endian bytes; a signed value has the bytes of the unsigned value with
// the same bits. Appending to a block cannot fail; a stream write fails with the stream's record.
// A read first sets *value to 0, then gives true with the value, or false with the stream's record
// ("BufferedInputStreamErrorDomain" -4 when the input ends first).
class IntegerIO {
 public:
  static void writeInt32(std::int32_t value, Data& to);
  static void writeUInt32(std::uint32_t value, Data& to);
  static void writeInt64(std::int64_t value, Data& to);
  static void writeUInt64(std::uint64_t value, Data& to);

  [[nodiscard]] static bool writeInt32(std::int32_t value, BufferedOutputStream& to,
                                       ErrorRecord* error = nullptr);
  [[nodiscard]] static bool writeUInt32(std::uint32_t value, BufferedOutputStream& to,
                                        ErrorRecord* error = nullptr);
  [[nodiscard]] static bool writeInt64(std::int64_t value, BufferedOutputStream& to,
                                       ErrorRecord* error = nullptr);
  [[nodiscard]] static bool writeUInt64(std::uint64_t value, BufferedOutputStream& to,
                                        ErrorRecord* error = nullptr);

  [[nodiscard]] static bool readInt32(std::int32_t* value, BufferedInputStream& from,
                                      ErrorRecord* error = nullptr);
  [[nodiscard]] static bool readUInt32(std::uint32_t* value, BufferedInputStream& from,
                                       ErrorRecord* error = nullptr);
  [[nodiscard]] static bool readInt64(std::int64_t* value, BufferedInputStream& from,
                                      ErrorRecord* error = nullptr);
  [[nodiscard]] static bool readUInt64(std::uint64_t* value, BufferedInputStream& from,
                                       ErrorRecord* error = nullptr);
};

}  // namespace twinlens
