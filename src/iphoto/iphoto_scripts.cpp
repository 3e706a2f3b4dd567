#include "iphoto/iphoto_scripts.hpp"

#include "catalog/photo.hpp"
#include "platform/apple_script_failure.hpp"
#include "platform/process.hpp"
#include "platform/script_host.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

constexpr const char* kIPhotoBundleIdentifier = "com.apple.iPhoto";

std::optional<std::string> identifierText(const std::string& photoKey) {
  std::optional<std::uint64_t> identifier = scriptIdentifierForPhotoKey(photoKey);
  if (!identifier) return std::nullopt;
  return formatText("%llu", static_cast<unsigned long long>(*identifier));
}

// The first key that stands for no photo number, for the record of a command that is refused.
const std::string* badKey(const std::set<std::string>& keys) {
  for (const std::string& key : keys)
    if (!photoKeyNumber(key)) return &key;
  return nullptr;
}

// Runs a text and, on failure, reports the script error as it came.
bool runSource(const void* command, const std::string& source, ErrorRecord* error) {
  ScriptOutcome outcome = ScriptHost::standard().executeSource(source);
  if (outcome.succeeded()) return true;
  AppleScriptFailure failure = AppleScriptFailure::of(outcome);
  TL_SET_ERROR(error, command, kAppleScriptErrorDomain, failure.number, "%s",
               failure.message.c_str());
  return false;
}

}  // namespace

bool QuitIPhotoScript::execute(ErrorRecord* error) {
  if (!Process::isProcessRunningWithBundleIdentifier(kIPhotoBundleIdentifier)) return true;
  return runSource(this, source(), error);
}

std::shared_ptr<AppleScript> QuitIPhotoScript::copy() const {
  return std::make_shared<QuitIPhotoScript>();
}

std::string QuitIPhotoScript::description() const {
  return defaultDescription("QuitIPhotoScript", this);
}

std::string QuitIPhotoScript::source() {
  return "tell application \"iPhoto\"\n        quit\n        end tell\n";
}

bool SelectLibraryAlbumScript::execute(ErrorRecord* error) {
  return runSource(this, source(), error);
}

std::shared_ptr<AppleScript> SelectLibraryAlbumScript::copy() const {
  return std::make_shared<SelectLibraryAlbumScript>();
}

std::string SelectLibraryAlbumScript::description() const {
  return defaultDescription("SelectLibraryAlbumScript", this);
}

std::string SelectLibraryAlbumScript::source() {
  return "                              tell application \"iPhoto\"\n"
         "                              select photo library album\n"
         "                              end tell\n";
}

bool SelectPhotoScript::execute(ErrorRecord* error) {
  std::optional<std::string> text = source();
  if (!text) {
    TL_SET_ERROR(error, this, kAppleScriptErrorDomain, kScriptCantGetObjectError,
                 "photo key %s is not a plain decimal number", iPhotoKey_.c_str());
    return false;
  }
  TL_LOG_DEBUG(this, "script: %s", text->c_str());
  return runSource(this, *text, error);
}

std::shared_ptr<AppleScript> SelectPhotoScript::copy() const {
  return std::make_shared<SelectPhotoScript>(iPhotoKey_);
}

std::string SelectPhotoScript::description() const {
  return defaultDescription("SelectPhotoScript", this) + " photo key " + iPhotoKey_;
}

std::optional<std::string> SelectPhotoScript::source() const {
  std::optional<std::string> identifier = identifierText(iPhotoKey_);
  if (!identifier) return std::nullopt;
  return "tell application \"iPhoto\"\n"
         "activate\n"
         "select photo library album\n"
         "select photo id " +
         *identifier + "\nend tell\n";
}

MoveToTrashScript::MoveToTrashScript(const std::vector<std::string>& photoKeys)
    : photoKeys_(photoKeys.begin(), photoKeys.end()) {}

bool MoveToTrashScript::execute(ErrorRecord* error) {
  std::optional<std::string> text = source();
  if (!text) {
    TL_SET_ERROR(error, this, errorDomain(), kMoveFailedError,
                 "failed to move photos to trash: photo key %s is not a plain decimal number",
                 badKey(photoKeys_)->c_str());
    return false;
  }
  TL_LOG_DEBUG(this, "script: %s", text->c_str());
  ScriptOutcome outcome = ScriptHost::standard().executeSource(*text);
  if (outcome.succeeded()) return true;
  AppleScriptFailure failure = AppleScriptFailure::of(outcome);
  TL_SET_ERROR(error, this, errorDomain(), kMoveFailedError,
               "failed to move photos to trash via AppleScript: error %s: %s",
               failure.numberText.c_str(), failure.message.c_str());
  return false;
}

std::shared_ptr<AppleScript> MoveToTrashScript::copy() const {
  return std::make_shared<MoveToTrashScript>(photoKeys_);
}

std::string MoveToTrashScript::description() const {
  std::string text = defaultDescription("MoveToTrashScript", this) + " photo keys";
  for (const std::string& key : photoKeys_) text += " " + key;
  return text;
}

std::optional<std::string> MoveToTrashScript::source() const {
  if (badKey(photoKeys_)) return std::nullopt;
  std::string text = "tell application \"iPhoto\"\n";
  for (const std::string& key : photoKeys_)
    text += "remove photo id " + *identifierText(key) + "\n";
  return text + "end tell\n";
}

}  // namespace twinlens
