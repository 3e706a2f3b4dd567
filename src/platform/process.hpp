#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/error_record.hpp"

namespace twinlens {

// Looks up running applications of this user by an entry of their information dictionary
// ("CFBundleIdentifier", "CFBundleName") and stops them. Stateless; any thread.
class Process {
 public:
  static bool isProcessRunningWithBundleIdentifier(std::string_view bundleIdentifier);
  static bool isProcessRunningWithBundleName(std::string_view bundleName);
  static bool isProcessRunningWithKey(std::string_view key, std::string_view value);
  // -1 when no such application runs (no error record) or its identifier cannot be had.
  static pid_t pidOfProcessRunningWithBundleIdentifier(std::string_view bundleIdentifier,
                                                       ErrorRecord* error = nullptr);
  static pid_t pidOfProcessRunningWithKey(std::string_view key, std::string_view value,
                                          ErrorRecord* error = nullptr);
  // Sends SIGKILL; true when it was delivered.
  static bool killProcessWithBundleIdentifier(std::string_view bundleIdentifier,
                                              ErrorRecord* error = nullptr);
  static std::string descriptionForResultCode(std::int32_t code);
  static const char* errorDomain() { return "ProcessErrorDomain"; }
};

}  // namespace twinlens
