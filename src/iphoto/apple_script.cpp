#include "iphoto/apple_script.hpp"

#include "catalog/photo.hpp"

namespace twinlens {

std::optional<std::uint64_t> scriptIdentifierForPhotoKey(std::string_view photoKey) {
  constexpr std::int64_t kTwoTo32 = std::int64_t{1} << 32;
  std::optional<std::int32_t> number = photoKeyNumber(photoKey);
  if (!number) return std::nullopt;
  return static_cast<std::uint64_t>(std::int64_t{*number} + kTwoTo32);
}

}  // namespace twinlens
