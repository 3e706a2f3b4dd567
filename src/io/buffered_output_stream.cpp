#include "io/buffered_output_stream.hpp"

#include <cstring>

#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {
void requireStream(const std::shared_ptr<OutputStream>& os) {
  if (!os) throw ProgrammingError("write: os can't be nil");
}
}  // namespace

BufferedOutputStream::BufferedOutputStream(std::shared_ptr<OutputStream> os)
    : os_(std::move(os)), buf_(std::make_unique<std::array<std::uint8_t, kBufferSize>>()) {}

std::int64_t BufferedOutputStream::write(const std::uint8_t* bytes, std::uint64_t length,
                                         ErrorRecord* error) {
  requireStream(os_);
  if (pos_ + length > buflen_ && !flush(error)) return -1;
  if (length <= buflen_) {
    std::memcpy(buf_->data() + pos_, bytes, static_cast<size_t>(length));
    pos_ += length;
    return static_cast<std::int64_t>(length);
  }
  std::uint64_t done = 0;
  while (done < length) {
    std::int64_t count = os_->write(bytes + done, length - done, error);
    if (count < 0) return -1;
    if (count == 0) {
      TL_SET_ERROR(error, this, errorDomain(), kNothingWrittenError,
                   "0 bytes written to underlying stream");
      return -1;
    }
    done += static_cast<std::uint64_t>(count);
    totalBytesWritten_ += static_cast<std::uint64_t>(count);
  }
  return static_cast<std::int64_t>(length);
}

bool BufferedOutputStream::flush(ErrorRecord* error) {
  requireStream(os_);
  std::uint64_t done = 0;
  while (done < pos_) {
    std::int64_t count = os_->write(buf_->data() + done, pos_ - done, error);
    if (count <= 0) {
      if (count == 0)
        TL_SET_ERROR(error, this, errorDomain(), kNothingWrittenError,
                     "0 bytes written to underlying stream %s", os_->description().c_str());
      // Keep only what the stream has not taken, so a retry does not write bytes twice.
      std::memmove(buf_->data(), buf_->data() + done, static_cast<size_t>(pos_ - done));
      pos_ -= done;
      return false;
    }
    done += static_cast<std::uint64_t>(count);
  }
  pos_ = 0;
  return true;
}

bool BufferedOutputStream::writeExactly(const std::uint8_t* bytes, std::uint64_t length,
                                        ErrorRecord* error) {
  std::int64_t count = write(bytes, length, error);
  if (count < 0) return false;
  if (static_cast<std::uint64_t>(count) != length)
    throw ProgrammingError("BufferedOutputStream write must return as all bytes written");
  return true;
}

std::string BufferedOutputStream::description() const {
  return defaultDescription("BufferedOutputStream", this);
}

}  // namespace twinlens
