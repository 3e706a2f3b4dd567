#include "catalog/defaults.hpp"

#include <cstdlib>
#include <filesystem>

#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {
constexpr const char* kUseAppleScriptKey = "useAppleScript";
}

Defaults::Defaults(std::shared_ptr<UserDefaults> applicationDefaults,
                   std::shared_ptr<UserDefaults> iPhotoPreferences)
    : applicationDefaults_(std::move(applicationDefaults)),
      iPhotoPreferences_(std::move(iPhotoPreferences)) {}

std::shared_ptr<Defaults> Defaults::standard() {
  std::string domain = TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
  return std::make_shared<Defaults>(std::make_shared<UserDefaults>(domain),
                                    std::make_shared<UserDefaults>(kIPhotoDefaultsDomain));
}

std::optional<std::string> Defaults::iPhotoRootDirectory() const {
  if (iPhotoRootDirectoryOverride_) return iPhotoRootDirectoryOverride_;
  if (!iPhotoPreferences_) return std::nullopt;
  std::optional<std::string> root = iPhotoPreferences_->stringForKey(kIPhotoRootDirectoryKey);
  if (!root || !root->starts_with('~')) return root;
  // Only "~" and "~/..." name our own home; "~user" is left as it stands.
  if (root->size() > 1 && (*root)[1] != '/') return root;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + root->substr(1);
}

bool Defaults::isIPhotoLibrary(const std::string& library, ErrorRecord* error) const {
  std::optional<std::string> open = iPhotoRootDirectory();
  if (!open) {
    TL_SET_ERROR(error, this, errorDomain(), kRootDirectoryUnsetError,
                 "iPhoto's RootDirectory preference is not set, so iPhoto would not open %s; open "
                 "it in iPhoto first",
                 library.c_str());
    return false;
  }
  std::error_code ignored;
  std::filesystem::path openFolder = std::filesystem::weakly_canonical(*open, ignored);
  // A path that cannot be resolved comes back empty, and two of those are not one folder.
  if (!openFolder.empty() && openFolder == std::filesystem::weakly_canonical(library, ignored))
    return true;
  TL_SET_ERROR(error, this, errorDomain(), kOtherLibraryOpenError,
               "iPhoto's library is %s, not %s; the photos would be looked up in the wrong library",
               open->c_str(), library.c_str());
  return false;
}

bool Defaults::useAlbumDataXML() const {
  if (useAlbumDataXMLOverride_) return *useAlbumDataXMLOverride_;
  return !(applicationDefaults_ &&
           applicationDefaults_->booleanForKey(kUseAppleScriptKey).value_or(false));
}

void Defaults::setUseAlbumDataXML(bool flag) {
  if (!applicationDefaults_) return;
  applicationDefaults_->setBoolean(!flag, kUseAppleScriptKey);
  if (!applicationDefaults_->synchronize()) logError("failed to synchronize NSUserDefaults");
}

}  // namespace twinlens
