#pragma once

#include <array>
#include <memory>

#include "io/input_stream.hpp"

namespace twinlens {

// Reads another stream through an 8192-byte buffer, so the small reads of the decoders and the
// JPEG walk do not reach the system; a read larger than the buffer, with nothing buffered, goes
// straight to the underlying stream.
class BufferedInputStream final : public InputStream {
 public:
  static constexpr std::uint64_t kBufferSize = 8192;
  // The largest request readExactly() accepts; anything longer is taken as a damaged length.
  static constexpr std::uint64_t kMaxExactLength = 2147483648ull;

  explicit BufferedInputStream(std::shared_ptr<InputStream> underlyingStream);

  std::int64_t read(std::uint8_t* into, std::uint64_t bufferLength,
                    ErrorRecord* error = nullptr) override;
  std::optional<Data> slurp(ErrorRecord* error = nullptr) override;
  std::string description() const override;

  // Reads exactly n bytes. Fails with "InputStreamErrorDomain" -1 for n over 2 GiB, with
  // "BufferedInputStreamErrorDomain" -4 when the stream ends first, or with the underlying
  // stream's record.
  bool readExactly(std::uint64_t n, std::uint8_t* into, ErrorRecord* error = nullptr);
  // The same into a new block. The block grows as bytes arrive, so a damaged length costs no
  // more memory than the stream really holds.
  std::optional<Data> readExactly(std::uint64_t n, ErrorRecord* error = nullptr);

  // Reads and drops exactly n bytes; fails as readExactly() does.
  bool skipExactly(std::uint64_t n, ErrorRecord* error = nullptr);

  // Hands the caller up to `max` bytes straight from the buffer, refilling it when empty: the
  // count given to `consume` (0 at end of stream), or -1 on failure. Lets a consumer such as a
  // hash read without a copy.
  template <typename Consume>
  std::int64_t consumeBuffered(std::uint64_t max, Consume&& consume, ErrorRecord* error = nullptr);

  std::uint64_t bytesReceived() const { return totalBytesReceived_; }
  // Bytes read ahead from the underlying stream and not yet consumed.
  std::uint64_t bufferedCount() const { return len_ - pos_; }
  const std::shared_ptr<InputStream>& underlyingStream() const { return underlyingStream_; }

  static const char* errorDomain() { return "BufferedInputStreamErrorDomain"; }
  // Its one code: the stream ended before the bytes asked for.
  static constexpr std::int32_t kEndOfDataError = -4;

 private:
  bool fill(ErrorRecord* error, std::int64_t* result);
  bool failAtEnd(std::uint64_t received, std::uint64_t total, ErrorRecord* error);
  bool checkLength(std::uint64_t n, ErrorRecord* error);
  // Reads n bytes; an early end is reported as `before` + received of `total`.
  bool readFully(std::uint8_t* into, std::uint64_t n, std::uint64_t before, std::uint64_t total,
                 ErrorRecord* error);

  std::shared_ptr<InputStream> underlyingStream_;
  std::unique_ptr<std::array<std::uint8_t, kBufferSize>> buf_;
  std::uint64_t pos_ = 0;
  std::uint64_t len_ = 0;
  std::uint64_t totalBytesReceived_ = 0;
};

template <typename Consume>
std::int64_t BufferedInputStream::consumeBuffered(std::uint64_t max, Consume&& consume,
                                                  ErrorRecord* error) {
  if (pos_ == len_) {
    std::int64_t result;
    if (!fill(error, &result)) return result;
  }
  std::uint64_t n = std::min(len_ - pos_, max);
  consume(buf_->data() + pos_, n);
  pos_ += n;
  totalBytesReceived_ += n;
  return static_cast<std::int64_t>(n);
}

}  // namespace twinlens
