#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "shared/error_record.hpp"

namespace twinlens {

class UserDefaults;

// Why a library is not the one iPhoto has open (Defaults::errorDomain()).
inline constexpr std::int32_t kRootDirectoryUnsetError = 1;
inline constexpr std::int32_t kOtherLibraryOpenError = 2;

// The scan's settings: which catalogue source to use ("useAppleScript" of the application's own
// defaults) and where iPhoto keeps its library ("RootDirectory" of "com.apple.iphoto", which this
// only reads). May be used from any thread.
class Defaults {
 public:
  // A null store reads as unset and ignores writes.
  Defaults(std::shared_ptr<UserDefaults> applicationDefaults,
           std::shared_ptr<UserDefaults> iPhotoPreferences);
  // The application's own defaults (its bundle identifier's domain) and iPhoto's.
  static std::shared_ptr<Defaults> standard();

  // "RootDirectory" with a leading tilde expanded to the home folder; nullopt when unset.
  std::optional<std::string> iPhotoRootDirectory() const;
  // Whether `library` is the folder iPhoto has open (its "RootDirectory", however either path is
  // written): every script acts on that library, and a key of another would name another photo
  // there. Fails with kRootDirectoryUnsetError or kOtherLibraryOpenError, naming the folders.
  [[nodiscard]] bool isIPhotoLibrary(const std::string& library,
                                     ErrorRecord* error = nullptr) const;
  // True unless "useAppleScript" is true.
  bool useAlbumDataXML() const;
  // Stores "useAppleScript" as !flag and writes it out at once; a failed write is logged at
  // Error "failed to synchronize NSUserDefaults".
  void setUseAlbumDataXML(bool flag);
  // Makes useAlbumDataXML() answer `flag` for this object alone, whatever the preference says,
  // without writing it (the command line's choice of source); nullopt follows the preference
  // again. Set before a scan starts.
  void overrideUseAlbumDataXML(std::optional<bool> flag) { useAlbumDataXMLOverride_ = flag; }
  // Makes iPhotoRootDirectory() answer `path` for this object alone (a library opened with the
  // application), without writing iPhoto's preferences; nullopt follows them again.
  void overrideIPhotoRootDirectory(std::optional<std::string> path) {
    iPhotoRootDirectoryOverride_ = std::move(path);
  }

  static const char* errorDomain() { return "DefaultsErrorDomain"; }

 private:
  std::shared_ptr<UserDefaults> applicationDefaults_;
  std::shared_ptr<UserDefaults> iPhotoPreferences_;
  std::optional<bool> useAlbumDataXMLOverride_;
  std::optional<std::string> iPhotoRootDirectoryOverride_;
};

}  // namespace twinlens
