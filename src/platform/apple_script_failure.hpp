#pragma once

#include <cstdint>
#include <string>

#include "platform/script_host.hpp"

namespace twinlens {

// The domain of a failed script's error record, for every command but the move to the trash.
inline constexpr const char* kAppleScriptErrorDomain = "AppleScriptErrorDomain";

// What a failed script's error dictionary says, read once for the error records made from it.
struct AppleScriptFailure {
  // The number under "NSAppleScriptErrorNumber"; 0 when it is absent or not a number.
  std::int64_t number = 0;
  // The same entry as a message prints it: "(null)" when absent.
  std::string numberText;
  // The text under "NSAppleScriptErrorMessage"; "(null)" when absent.
  std::string message;

  static AppleScriptFailure of(const ScriptOutcome& outcome);
};

}  // namespace twinlens
