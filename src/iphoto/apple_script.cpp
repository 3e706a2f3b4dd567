#include "iphoto/apple_script.hpp"

#include "platform/album_value.hpp"

namespace twinlens {

std::uint64_t scriptIdentifierForPhotoKey(std::string_view photoKey) {
  constexpr std::int64_t kTwoTo32 = std::int64_t{1} << 32;
  return static_cast<std::uint64_t>(std::int64_t{int32FromDecimalText(photoKey)} + kTwoTo32);
}

}  // namespace twinlens
