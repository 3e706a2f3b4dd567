#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/script_host.hpp"

namespace twinlens {

// The standard script host: sends each text to the application that its first
// `tell application "<Name>"` names, over that application's socket (see scriptSocketPath), and
// waits for the answer. An application that is not running is launched from its bundle
// <Name>.app/Contents/MacOS/<Name>, looked up in the folders of applicationSearchPath().
//
// Failures are outcomes with AppleScript's numbers: kScriptSyntaxError when the text names no
// application, kScriptApplicationNotFoundError when no bundle of it exists,
// kScriptApplicationNotRunningError when it cannot be launched or reached, kScriptTimedOutError
// when no answer came within the answer time (120 s, or the whole seconds in
// $TWINLENS_SCRIPT_TIMEOUT), kScriptConnectionInvalidError when the application went away while
// answering and kScriptCorruptAnswerError when its answer could not be read. A text is never
// sent to a socket or a process of another user.
//
// Each script has a connection of its own, so that a script that follows one that made the
// application quit reaches a new instance rather than the one on its way out. Any thread.
class SocketScriptHost final : public ScriptHost {
 public:
  explicit SocketScriptHost(std::chrono::milliseconds launchTime = std::chrono::seconds(10));

  ScriptOutcome executeSource(std::string_view source) override;

  // The name in the first `tell application "<Name>"` (also `tell app`, keywords in any letter
  // case); nullopt when there is none.
  static std::optional<std::string> applicationNameInSource(std::string_view source);
  // The folders of $TWINLENS_APPLICATIONS_PATH (colon-separated), then the build tree's
  // Applications folder, then lib/twinlens/Applications beside the executable's bin folder.
  static std::vector<std::string> applicationSearchPath();
  // The executable of the first bundle of `applicationName` on the search path.
  static std::optional<std::string> applicationExecutable(std::string_view applicationName);

 private:
  // A new connection to the application, launched first when it is not running; -1 with
  // *failure filled when it cannot be had.
  int connectionTo(const std::string& applicationName, ScriptOutcome* failure) const;

  std::chrono::milliseconds launchTime_;
};

}  // namespace twinlens
