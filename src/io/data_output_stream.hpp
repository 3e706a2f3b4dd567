#pragma once

#include "io/output_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// Appends to a growable block shared with the creator, who reads the result from it.
class DataOutputStream final : public OutputStream {
 public:
  explicit DataOutputStream(SharedMutableData mutableData);

  std::int64_t write(const std::uint8_t* bytes, std::uint64_t length,
                     ErrorRecord* error = nullptr) override;
  std::uint64_t bytesWritten() const override { return bytesWritten_; }
  std::string description() const override;

  const SharedMutableData& mutableData() const { return mutableData_; }

 private:
  SharedMutableData mutableData_;
  std::uint64_t bytesWritten_ = 0;
};

}  // namespace twinlens
