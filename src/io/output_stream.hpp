#pragma once

#include <cstdint>
#include <string>

#include "shared/error_record.hpp"

namespace twinlens {

// A sink of bytes. A stream belongs to one thread at a time; none is locked.
class OutputStream {
 public:
  virtual ~OutputStream() = default;

  // The number of bytes accepted (possibly fewer than `length`), or -1 on failure.
  virtual std::int64_t write(const std::uint8_t* bytes, std::uint64_t length,
                             ErrorRecord* error = nullptr) = 0;
  virtual std::uint64_t bytesWritten() const = 0;
  virtual std::string description() const = 0;
};

}  // namespace twinlens
