#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "iphoto/apple_script.hpp"

namespace twinlens {

// The commands that change what iPhoto shows or holds. Each composes its text anew on every
// execute(), which runs it through ScriptHost::standard() on the calling (main) thread; executing
// never changes a command. A failure is "AppleScriptErrorDomain" with the script error's number
// as code and its message, but for MoveToTrashScript (see there). A command naming a key that
// stands for no photo number (photoKeyNumber()) composes no text and sends nothing: it fails with
// "AppleScriptErrorDomain" -1728 (MoveToTrashScript: its own domain and code) and says which key.

// Quits iPhoto; succeeds at once, running nothing, when iPhoto is not running.
class QuitIPhotoScript final : public AppleScript {
 public:
  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  static std::string source();
};

// Shows iPhoto's whole library.
class SelectLibraryAlbumScript final : public AppleScript {
 public:
  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  static std::string source();
};

// Brings iPhoto to the front, shows its library and selects one photo.
class SelectPhotoScript final : public AppleScript {
 public:
  explicit SelectPhotoScript(std::string iPhotoKey) : iPhotoKey_(std::move(iPhotoKey)) {}

  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  std::optional<std::string> source() const;
  const std::string& iPhotoKey() const { return iPhotoKey_; }

 private:
  std::string iPhotoKey_;
};

// Moves photos to iPhoto's trash, one "remove" line per key, in one script. Fails with
// "TagScriptErrorDomain" -1 whatever iPhoto's error number was; the number is told only in the
// message.
class MoveToTrashScript final : public AppleScript {
 public:
  MoveToTrashScript() = default;
  explicit MoveToTrashScript(const std::vector<std::string>& photoKeys);
  explicit MoveToTrashScript(std::set<std::string> photoKeys) : photoKeys_(std::move(photoKeys)) {}

  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  // A new command owning a set of its own, with the keys held now.
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  std::optional<std::string> source() const;

  // A key already held is not added again.
  void addPhotoKey(std::string photoKey) { photoKeys_.insert(std::move(photoKey)); }
  std::size_t photoKeyCount() const { return photoKeys_.size(); }
  const std::set<std::string>& photoKeys() const { return photoKeys_; }

  static const char* errorDomain() { return "TagScriptErrorDomain"; }
  // Its one code, whatever iPhoto's own number was.
  static constexpr std::int32_t kMoveFailedError = -1;

 private:
  std::set<std::string> photoKeys_;
};

}  // namespace twinlens
