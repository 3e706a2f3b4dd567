#include "shared/twinlens_app.hpp"

#include "shared/logging.hpp"

namespace twinlens {

namespace detail {
// Defined in the source that the build generates next to Info.plist.
std::span<const InfoEntry> generatedInfoDictionary();
}  // namespace detail

namespace {

constexpr std::string_view kBundleNameKey = "CFBundleName";
constexpr const char* kFallbackAppName = "Twinlens";

std::optional<std::string> valueIn(std::span<const InfoEntry> info, std::string_view key) {
  for (const InfoEntry& entry : info)
    if (entry.key == key) return std::string(entry.value);
  return std::nullopt;
}

}  // namespace

std::span<const InfoEntry> TwinlensApp::infoDictionary() {
  return detail::generatedInfoDictionary();
}

std::optional<std::string> TwinlensApp::infoValue(std::string_view key) {
  return valueIn(infoDictionary(), key);
}

std::string TwinlensApp::appName() {
  return appNameInInfoDictionary(infoDictionary());
}

std::string TwinlensApp::duplicatesAlbumName() {
  return appName();
}

std::string TwinlensApp::appNameInInfoDictionary(std::span<const InfoEntry> info) {
  if (std::optional<std::string> name = valueIn(info, kBundleNameKey)) return *name;
  logError("bundle name not found!");
  return kFallbackAppName;
}

}  // namespace twinlens
