#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace twinlens {

// One key of the application's information dictionary with its text value.
struct InfoEntry {
  std::string_view key;
  std::string_view value;
};

// Facts about the application itself, read from the information dictionary that the build
// generates (the same pairs go into the bundle's Info.plist). Stateless.
class TwinlensApp {
 public:
  // Every pair of the information dictionary, in the order the build lists them.
  static std::span<const InfoEntry> infoDictionary();
  // The value under `key`, or nullopt when the dictionary has no such key.
  static std::optional<std::string> infoValue(std::string_view key);

  // "CFBundleName" of the information dictionary; "Twinlens", after the Error line
  // "bundle name not found!", when the dictionary lacks it.
  static std::string appName();
  // The album in iPhoto's catalogue that is named after the application: appName().
  static std::string duplicatesAlbumName();

  // appName() over a given dictionary, for a bundle other than the running one.
  static std::string appNameInInfoDictionary(std::span<const InfoEntry> info);
};

}  // namespace twinlens
