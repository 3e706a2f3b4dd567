#include "io/data_output_stream.hpp"

#include "shared/text_format.hpp"

namespace twinlens {

DataOutputStream::DataOutputStream(SharedMutableData mutableData)
    : mutableData_(mutableData ? std::move(mutableData) : std::make_shared<Data>()) {}

std::int64_t DataOutputStream::write(const std::uint8_t* bytes, std::uint64_t length,
                                     ErrorRecord*) {
  mutableData_->insert(mutableData_->end(), bytes, bytes + length);
  bytesWritten_ += length;
  return static_cast<std::int64_t>(length);
}

std::string DataOutputStream::description() const {
  return defaultDescription("DataOutputStream", this);
}

}  // namespace twinlens
