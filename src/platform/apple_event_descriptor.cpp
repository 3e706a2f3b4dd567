#include "platform/apple_event_descriptor.hpp"

#include <cstdio>
#include <cstring>

namespace twinlens {

namespace {

constexpr FourCharCode kTypeUnicodeText = fourCharCode("utxt");
constexpr FourCharCode kTypeText = fourCharCode("TEXT");
constexpr FourCharCode kTypeBoolean = fourCharCode("bool");
constexpr FourCharCode kTypeTrue = fourCharCode("true");

template <typename T>
Data bytesOf(T value) {
  Data bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

template <typename T>
T valueOf(const Data& bytes) {
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

}  // namespace

std::string fourCharCodeText(FourCharCode code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned char>(code >> shift);
    if (byte >= 0x20 && byte < 0x7f) {
      text += static_cast<char>(byte);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  return text;
}

AppleEventDescriptor::AppleEventDescriptor(FourCharCode type, Data bytes)
    : type_(type), data_(std::move(bytes)) {}

AppleEventDescriptor::AppleEventDescriptor(FourCharCode type,
                                           std::vector<AppleEventDescriptor> items)
    : type_(type), holdsItems_(true), items_(std::move(items)) {}

AppleEventDescriptor AppleEventDescriptor::text(std::string_view utf8) {
  return AppleEventDescriptor(kTypeUnicodeText, Data(utf8.begin(), utf8.end()));
}

AppleEventDescriptor AppleEventDescriptor::int32(std::int32_t value) {
  return AppleEventDescriptor(fourCharCode("long"), bytesOf(value));
}

AppleEventDescriptor AppleEventDescriptor::real(double value) {
  return AppleEventDescriptor(fourCharCode("doub"), bytesOf(value));
}

AppleEventDescriptor AppleEventDescriptor::boolean(bool value) {
  return AppleEventDescriptor(kTypeBoolean, Data{static_cast<std::uint8_t>(value ? 1 : 0)});
}

AppleEventDescriptor AppleEventDescriptor::enumerated(FourCharCode code) {
  return AppleEventDescriptor(fourCharCode("enum"), bytesOf(code));
}

AppleEventDescriptor AppleEventDescriptor::typeCode(FourCharCode code) {
  return AppleEventDescriptor(fourCharCode("type"), bytesOf(code));
}

AppleEventDescriptor AppleEventDescriptor::null() {
  return AppleEventDescriptor(fourCharCode("null"), Data());
}

AppleEventDescriptor AppleEventDescriptor::list(std::vector<AppleEventDescriptor> items) {
  return AppleEventDescriptor(fourCharCode("list"), std::move(items));
}

AppleEventDescriptor AppleEventDescriptor::record(std::vector<AppleEventDescriptor> items) {
  return AppleEventDescriptor(fourCharCode("reco"), std::move(items));
}

AppleEventDescriptor AppleEventDescriptor::withItems(FourCharCode type,
                                                     std::vector<AppleEventDescriptor> items) {
  return AppleEventDescriptor(type, std::move(items));
}

AppleEventDescriptor AppleEventDescriptor::recordWithUserFields(
    std::vector<std::pair<std::string, AppleEventDescriptor>> fields) {
  std::vector<AppleEventDescriptor> labelsAndValues;
  labelsAndValues.reserve(fields.size() * 2);
  for (auto& [label, value] : fields) {
    labelsAndValues.push_back(text(label));
    labelsAndValues.push_back(std::move(value));
  }
  std::vector<AppleEventDescriptor> items;
  items.push_back(list(std::move(labelsAndValues)));
  return record(std::move(items));
}

const AppleEventDescriptor* AppleEventDescriptor::descriptorAtIndex(std::size_t index) const {
  if (index < 1 || index > items_.size()) return nullptr;
  return &items_[index - 1];
}

std::optional<std::string> AppleEventDescriptor::stringValue() const {
  if (holdsItems_ || (type_ != kTypeUnicodeText && type_ != kTypeText)) return std::nullopt;
  return std::string(data_.begin(), data_.end());
}

std::int32_t AppleEventDescriptor::int32Value() const {
  switch (data_.size()) {
    case 2:
      return valueOf<std::int16_t>(data_);
    case 4:
      return valueOf<std::int32_t>(data_);
    case 8:
      return static_cast<std::int32_t>(valueOf<std::int64_t>(data_));
    default:
      return 0;
  }
}

bool AppleEventDescriptor::booleanValue() const {
  if (type_ == kTypeTrue) return true;
  if (type_ == kTypeBoolean) return data_.size() == 1 && data_[0] != 0;
  return false;
}

FourCharCode AppleEventDescriptor::enumCodeValue() const {
  return data_.size() == 4 ? valueOf<FourCharCode>(data_) : 0;
}

}  // namespace twinlens
