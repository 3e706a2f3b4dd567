#include "support/failing_streams.hpp"

#include <algorithm>
#include <cstring>

#include "io/input_streams.hpp"

namespace twinlens::testing {

std::int64_t FailingInputStream::read(std::uint8_t* into, std::uint64_t bufferLength,
                                      ErrorRecord* error) {
  ++readCalls_;
  if (delivered_ >= failAfter_) {
    TL_SET_UNIX_ERROR(error, this, errnum_, "read(fake): %s", std::strerror(errnum_));
    return -1;
  }
  std::uint64_t n = std::min({bufferLength, maxPerRead_, failAfter_ - delivered_});
  std::int64_t count = inner_->read(into, n, error);
  if (count > 0) delivered_ += static_cast<std::uint64_t>(count);
  return count;
}

std::optional<Data> FailingInputStream::slurp(ErrorRecord* error) {
  return InputStreams::slurp(*this, error);
}

std::int64_t FailingOutputStream::write(const std::uint8_t* bytes, std::uint64_t length,
                                        ErrorRecord* error) {
  if (accepted_.size() >= failAfter_) {
    TL_SET_UNIX_ERROR(error, this, errnum_, "write(fake): %s", std::strerror(errnum_));
    return -1;
  }
  if (accepted_.size() >= zeroAfter_) return 0;
  std::uint64_t n = std::min(
      {length, maxPerWrite_, failAfter_ - accepted_.size(), zeroAfter_ - accepted_.size()});
  accepted_.insert(accepted_.end(), bytes, bytes + n);
  return static_cast<std::int64_t>(n);
}

}  // namespace twinlens::testing
