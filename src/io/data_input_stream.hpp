#pragma once

#include "io/input_stream.hpp"

namespace twinlens {

// Reads an in-memory byte block, which it shares with its creator and never changes. Never fails.
class DataInputStream final : public InputStream {
 public:
  explicit DataInputStream(SharedData data);
  explicit DataInputStream(Data data);
  // Reads only bytes offset to offset + length of `data`, kept as a block of its own.
  DataInputStream(const Data& data, std::uint64_t offset, std::uint64_t length);

  std::int64_t read(std::uint8_t* into, std::uint64_t bufferLength,
                    ErrorRecord* error = nullptr) override;
  // The bytes from the current position to the end; the position is left at the end.
  std::optional<Data> slurp(ErrorRecord* error = nullptr) override;
  std::string description() const override;

  std::uint64_t pos() const { return pos_; }

 private:
  SharedData data_;
  std::uint64_t pos_ = 0;
};

}  // namespace twinlens
