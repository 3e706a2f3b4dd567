#pragma once

#include <array>
#include <memory>

#include "io/output_stream.hpp"

namespace twinlens {

// Collects small writes in an 8192-byte buffer; a write larger than the buffer goes straight to
// the underlying stream. Destruction does not flush: an owner that wants its bytes calls flush().
class BufferedOutputStream final : public OutputStream {
 public:
  static constexpr std::uint64_t kBufferSize = 8192;

  explicit BufferedOutputStream(std::shared_ptr<OutputStream> os);

  // n, or -1 with the underlying stream's record, or "BufferedOutputStreamErrorDomain" -4 when the
  // underlying stream accepts nothing.
  std::int64_t write(const std::uint8_t* bytes, std::uint64_t length,
                     ErrorRecord* error = nullptr) override;
  // Hands every buffered byte on; after a failure they stay buffered.
  bool flush(ErrorRecord* error = nullptr);
  bool writeExactly(const std::uint8_t* bytes, std::uint64_t length, ErrorRecord* error = nullptr);

  // Counts only what the direct-write path hands on; nothing reads it.
  std::uint64_t bytesWritten() const override { return totalBytesWritten_; }
  std::string description() const override;

  static const char* errorDomain() { return "BufferedOutputStreamErrorDomain"; }
  // Its one code: the underlying stream accepted no bytes.
  static constexpr std::int32_t kNothingWrittenError = -4;

 private:
  std::shared_ptr<OutputStream> os_;
  std::unique_ptr<std::array<std::uint8_t, kBufferSize>> buf_;
  std::uint64_t pos_ = 0;
  std::uint64_t buflen_ = kBufferSize;
  std::uint64_t totalBytesWritten_ = 0;
};

}  // namespace twinlens
