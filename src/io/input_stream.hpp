#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Failures of reading itself rather than of a system call: a requested length over the limit, or
// a line longer than allowed (kInputStreamTooLongError, its one code).
inline constexpr const char* kInputStreamErrorDomain = "InputStreamErrorDomain";
inline constexpr std::int32_t kInputStreamTooLongError = -1;

// A source of bytes. A stream belongs to one thread at a time; none is locked.
class InputStream {
 public:
  virtual ~InputStream() = default;

  // Places up to `bufferLength` bytes at `into`: the count (at least 1), 0 at end of stream, or
  // -1 on failure with a record in *error. A caller that got -1 does not read again.
  virtual std::int64_t read(std::uint8_t* into, std::uint64_t bufferLength,
                            ErrorRecord* error = nullptr) = 0;
  // All remaining bytes, or nullopt on failure.
  virtual std::optional<Data> slurp(ErrorRecord* error = nullptr) = 0;
  // The text by which messages quote the stream.
  virtual std::string description() const = 0;
};

}  // namespace twinlens
