#include "io/buffered_input_stream.hpp"

#include <algorithm>
#include <cstring>

#include "io/input_streams.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {
// readExactly() into a new block grows it in steps of this size at most.
constexpr std::uint64_t kGrowStep = 1 << 20;
}  // namespace

BufferedInputStream::BufferedInputStream(std::shared_ptr<InputStream> underlyingStream)
    : underlyingStream_(std::move(underlyingStream)),
      buf_(std::make_unique<std::array<std::uint8_t, kBufferSize>>()) {}

bool BufferedInputStream::fill(ErrorRecord* error, std::int64_t* result) {
  std::int64_t count = underlyingStream_->read(buf_->data(), kBufferSize, error);
  if (count <= 0) {
    *result = count;
    return false;
  }
  pos_ = 0;
  len_ = static_cast<std::uint64_t>(count);
  return true;
}

std::int64_t BufferedInputStream::read(std::uint8_t* into, std::uint64_t bufferLength,
                                       ErrorRecord* error) {
  if (pos_ >= len_ && bufferLength > kBufferSize) {
    std::int64_t result = underlyingStream_->read(into, bufferLength, error);
    if (result > 0) totalBytesReceived_ += static_cast<std::uint64_t>(result);
    return result;
  }
  return consumeBuffered(
      bufferLength,
      [into](const std::uint8_t* bytes, std::uint64_t n) {
        std::memcpy(into, bytes, static_cast<size_t>(n));
      },
      error);
}

bool BufferedInputStream::readFully(std::uint8_t* into, std::uint64_t n, std::uint64_t before,
                                    std::uint64_t total, ErrorRecord* error) {
  std::uint64_t received = 0;
  while (received < n) {
    std::int64_t count = read(into + received, n - received, error);
    if (count < 0) return false;
    if (count == 0) return failAtEnd(before + received, total, error);
    received += static_cast<std::uint64_t>(count);
  }
  return true;
}

bool BufferedInputStream::failAtEnd(std::uint64_t received, std::uint64_t total,
                                    ErrorRecord* error) {
  TL_SET_ERROR(error, this, errorDomain(), kEndOfDataError,
               "EOF on %s after %llu of %llu bytes received", description().c_str(),
               static_cast<unsigned long long>(received), static_cast<unsigned long long>(total));
  return false;
}

bool BufferedInputStream::skipExactly(std::uint64_t n, ErrorRecord* error) {
  if (!checkLength(n, error)) return false;
  std::uint64_t skipped = 0;
  while (skipped < n) {
    std::int64_t count = consumeBuffered(
        n - skipped, [](const std::uint8_t*, std::uint64_t) {}, error);
    if (count < 0) return false;
    if (count == 0) return failAtEnd(skipped, n, error);
    skipped += static_cast<std::uint64_t>(count);
  }
  return true;
}

bool BufferedInputStream::checkLength(std::uint64_t n, ErrorRecord* error) {
  if (n <= kMaxExactLength) return true;
  TL_SET_ERROR(error, this, kInputStreamErrorDomain, kInputStreamTooLongError,
               "absurd length %llu requested", static_cast<unsigned long long>(n));
  return false;
}

bool BufferedInputStream::readExactly(std::uint64_t n, std::uint8_t* into, ErrorRecord* error) {
  // Most of a decoder's reads are a few bytes the buffer holds: those are copied at once.
  if (n != 0 && n <= len_ - pos_) {
    std::memcpy(into, buf_->data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    totalBytesReceived_ += n;
    return true;
  }
  return checkLength(n, error) && readFully(into, n, 0, n, error);
}

std::optional<Data> BufferedInputStream::readExactly(std::uint64_t n, ErrorRecord* error) {
  if (!checkLength(n, error)) return std::nullopt;
  Data block;
  while (block.size() < n) {
    std::uint64_t have = block.size();
    std::uint64_t step = std::min(n - have, kGrowStep);
    block.resize(static_cast<size_t>(have + step));
    if (!readFully(block.data() + have, step, have, n, error)) return std::nullopt;
  }
  return block;
}

std::optional<Data> BufferedInputStream::slurp(ErrorRecord* error) {
  return InputStreams::slurp(*this, error);
}

std::string BufferedInputStream::description() const {
  return formatText("<BufferedInputStream: underlying=%s>",
                    underlyingStream_->description().c_str());
}

}  // namespace twinlens
