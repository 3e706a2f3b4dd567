#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "iphoto_library.hpp"
#include "iphoto_script.hpp"
#include "platform/script_host.hpp"

namespace twinlens::standin {

// Error number of a script whose change could not be kept, and of a "quit" whose save failed
// (AppleScript's "the handler failed").
inline constexpr std::int32_t kScriptHandlerFailedError = -10000;

// What the stand-in makes of a script: IPhotoScript parses it, then the whole script is checked
// against the library (every photo id it names must be there when its line comes) before any of
// it takes effect, so a script that fails changes nothing. Then its commands run in order and
// the answer is the last command's result: the album-data record for the query, a 'null'
// descriptor for every other command.
//
// Failures are answered as the script host reports them: kScriptSyntaxError with the parser's
// message, or kScriptCantGetObjectError with "Can't get photo id N." (N as the script writes it).
// Used by one thread at a time.
class IPhotoInterpreter {
 public:
  // Keeps a change for good (saves it); false with the reason.
  using Commit = std::function<bool(ErrorRecord* error)>;

  // `commit` is called after a script changed the library and before it is answered, so that
  // no answer tells of a change that a crash would lose; when it fails the change is undone
  // and the script fails with kScriptHandlerFailedError "Can't save the library: <reason>".
  explicit IPhotoInterpreter(IPhotoLibrary library, Commit commit = {});

  ScriptOutcome run(std::string_view source);

  const IPhotoLibrary& library() const { return library_; }
  // Whether a "quit" ran since the last call; the caller saves, answers and stops.
  bool takeQuitRequest() { return std::exchange(quitRequested_, false); }
  bool isActive() const { return active_; }
  // The key of the photo last selected, and whether the library album has been selected.
  const std::optional<std::string>& selectedPhotoKey() const { return selectedPhotoKey_; }
  bool libraryAlbumSelected() const { return libraryAlbumSelected_; }

 private:
  std::optional<ScriptOutcome> check(const IPhotoScript& script) const;

  IPhotoLibrary library_;
  Commit commit_;
  bool quitRequested_ = false;
  bool active_ = false;
  bool libraryAlbumSelected_ = false;
  std::optional<std::string> selectedPhotoKey_;
};

}  // namespace twinlens::standin
