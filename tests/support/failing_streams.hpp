#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>

#include "io/input_stream.hpp"
#include "io/output_stream.hpp"

namespace twinlens::testing {

// Wraps a stream and misbehaves on demand: short reads, or a failure with an errno after a given
// number of bytes.
class FailingInputStream final : public InputStream {
 public:
  explicit FailingInputStream(std::shared_ptr<InputStream> inner) : inner_(std::move(inner)) {}

  // Each read delivers at most this many bytes.
  void setMaxPerRead(std::uint64_t n) { maxPerRead_ = n; }
  // Once `bytes` have been delivered, reads fail with "UnixErrorDomain" and `errnum`.
  void failAfter(std::uint64_t bytes, int errnum = EIO) {
    failAfter_ = bytes;
    errnum_ = errnum;
  }
  int readCalls() const { return readCalls_; }

  std::int64_t read(std::uint8_t* into, std::uint64_t bufferLength,
                    ErrorRecord* error = nullptr) override;
  std::optional<Data> slurp(ErrorRecord* error = nullptr) override;
  std::string description() const override { return "<FailingInputStream>"; }

 private:
  std::shared_ptr<InputStream> inner_;
  std::uint64_t maxPerRead_ = UINT64_MAX;
  std::uint64_t failAfter_ = UINT64_MAX;
  std::uint64_t delivered_ = 0;
  int errnum_ = EIO;
  int readCalls_ = 0;
};

// Collects what it accepts; accepts at most maxPerWrite bytes a call, accepts 0 bytes once
// `acceptZeroAfter` bytes are in, or fails with `errnum` (ENOSPC by default) once `failAfter`
// bytes are in.
class FailingOutputStream final : public OutputStream {
 public:
  void setMaxPerWrite(std::uint64_t n) { maxPerWrite_ = n; }
  void failAfter(std::uint64_t bytes, int errnum = ENOSPC) {
    failAfter_ = bytes;
    errnum_ = errnum;
  }
  void acceptZeroAfter(std::uint64_t bytes) { zeroAfter_ = bytes; }
  const Data& accepted() const { return accepted_; }

  std::int64_t write(const std::uint8_t* bytes, std::uint64_t length,
                     ErrorRecord* error = nullptr) override;
  std::uint64_t bytesWritten() const override { return accepted_.size(); }
  std::string description() const override { return "<FailingOutputStream>"; }

 private:
  Data accepted_;
  std::uint64_t maxPerWrite_ = UINT64_MAX;
  std::uint64_t failAfter_ = UINT64_MAX;
  std::uint64_t zeroAfter_ = UINT64_MAX;
  int errnum_ = ENOSPC;
};

}  // namespace twinlens::testing
