#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/apple_event_descriptor.hpp"
#include "platform/plist_value.hpp"

namespace twinlens {

// The entries of a failed script's error dictionary.
inline constexpr const char* kAppleScriptErrorNumberKey = "NSAppleScriptErrorNumber";
inline constexpr const char* kAppleScriptErrorMessageKey = "NSAppleScriptErrorMessage";

// Error numbers of the script host and of the applications it talks to, as AppleScript has them.
inline constexpr std::int32_t kScriptSyntaxError = -2741;            // the text does not parse
inline constexpr std::int32_t kScriptCantGetObjectError = -1728;     // "Can't get photo id N."
inline constexpr std::int32_t kScriptTimedOutError = -1712;          // no answer in time
inline constexpr std::int32_t kScriptCorruptAnswerError = -1702;     // the answer is malformed
inline constexpr std::int32_t kScriptConnectionInvalidError = -609;  // the application went away
inline constexpr std::int32_t kScriptApplicationNotRunningError = -600;  // could not be reached
inline constexpr std::int32_t kScriptApplicationNotFoundError = -10814;  // no such application

// What running one script text gave: the result on success, else the error dictionary with an
// integer under kAppleScriptErrorNumberKey and a text under kAppleScriptErrorMessageKey.
struct ScriptOutcome {
  std::optional<AppleEventDescriptor> result;
  PListValue::Dictionary errorInfo;

  bool succeeded() const { return result.has_value(); }
  static ScriptOutcome success(AppleEventDescriptor result);
  static ScriptOutcome failure(std::int64_t number, std::string message);
};

// Compiles and runs script texts, as the platform's AppleScript host does: the text's
// `tell application "<Name>"` names the application that carries it out. Used on the main thread.
class ScriptHost {
 public:
  virtual ~ScriptHost() = default;

  // Runs `source` and waits for the application's answer, a bounded time.
  virtual ScriptOutcome executeSource(std::string_view source) = 0;

  // The host that script commands use, as the program's main chose it (a SocketScriptHost; tests
  // put in fakes). Throws ProgrammingError when none was chosen. The reference stays valid until
  // the next setStandard().
  static ScriptHost& standard();
  // Puts `host` (null: none) in place of the standard one and hands back the one it replaces.
  static std::shared_ptr<ScriptHost> setStandard(std::shared_ptr<ScriptHost> host);
};

}  // namespace twinlens
