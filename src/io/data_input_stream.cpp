#include "io/data_input_stream.hpp"

#include <algorithm>
#include <cstring>

#include "shared/text_format.hpp"

namespace twinlens {

DataInputStream::DataInputStream(SharedData data)
    : data_(data ? std::move(data) : std::make_shared<const Data>()) {}

DataInputStream::DataInputStream(Data data)
    : data_(std::make_shared<const Data>(std::move(data))) {}

DataInputStream::DataInputStream(const Data& data, std::uint64_t offset, std::uint64_t length) {
  std::uint64_t start = std::min<std::uint64_t>(offset, data.size());
  std::uint64_t end = start + std::min<std::uint64_t>(length, data.size() - start);
  data_ = std::make_shared<const Data>(data.begin() + static_cast<std::ptrdiff_t>(start),
                                       data.begin() + static_cast<std::ptrdiff_t>(end));
}

std::int64_t DataInputStream::read(std::uint8_t* into, std::uint64_t bufferLength, ErrorRecord*) {
  std::uint64_t n = std::min<std::uint64_t>(data_->size() - pos_, bufferLength);
  if (n == 0) return 0;
  std::memcpy(into, data_->data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return static_cast<std::int64_t>(n);
}

std::optional<Data> DataInputStream::slurp(ErrorRecord*) {
  Data rest(data_->begin() + static_cast<std::ptrdiff_t>(pos_), data_->end());
  pos_ = data_->size();
  return rest;
}

std::string DataInputStream::description() const {
  return defaultDescription("DataInputStream", this);
}

}  // namespace twinlens
