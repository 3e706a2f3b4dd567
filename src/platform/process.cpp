#include "platform/process.hpp"

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <typeinfo>

#include "platform/process_table.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

constexpr const char* kBundleIdentifierKey = "CFBundleIdentifier";
constexpr const char* kBundleNameKey = "CFBundleName";

const void* const kLogObject = &typeid(Process);

// The process whose information dictionary has `value` under `key`, in the process manager's
// order; nullopt when none has, or when the enumeration failed.
std::optional<ProcessHandle> findProcess(const ProcessTable& table, std::string_view key,
                                         std::string_view value) {
  ProcessHandle handle;
  std::int32_t result = table.getNextProcess(handle);
  while (!handle.empty()) {
    if (result != 0) {
      logWarn("GetNextProcess returned error %d", result);
      return std::nullopt;
    }
    const PListValue::Dictionary information = table.informationDictionary(handle);
    const auto entry = information.find(key);
    if (entry != information.end() && entry->second.textValue() &&
        *entry->second.textValue() == value)
      return handle;
    result = table.getNextProcess(handle);
  }
  return std::nullopt;
}

}  // namespace

bool Process::isProcessRunningWithBundleIdentifier(std::string_view bundleIdentifier) {
  return isProcessRunningWithKey(kBundleIdentifierKey, bundleIdentifier);
}

bool Process::isProcessRunningWithBundleName(std::string_view bundleName) {
  return isProcessRunningWithKey(kBundleNameKey, bundleName);
}

bool Process::isProcessRunningWithKey(std::string_view key, std::string_view value) {
  const bool running = findProcess(ProcessTable::read(), key, value).has_value();
  TL_LOG_TRACE(kLogObject, "Process with %.*s = %.*s is %srunning", static_cast<int>(key.size()),
               key.data(), static_cast<int>(value.size()), value.data(), running ? "" : "not ");
  return running;
}

pid_t Process::pidOfProcessRunningWithBundleIdentifier(std::string_view bundleIdentifier,
                                                       ErrorRecord* error) {
  return pidOfProcessRunningWithKey(kBundleIdentifierKey, bundleIdentifier, error);
}

pid_t Process::pidOfProcessRunningWithKey(std::string_view key, std::string_view value,
                                          ErrorRecord* error) {
  pid_t answer = -1;
  const ProcessTable table = ProcessTable::read();
  if (const std::optional<ProcessHandle> found = findProcess(table, key, value)) {
    pid_t pid = -1;
    const std::int32_t result = table.getProcessPID(*found, &pid);
    if (result < 0) {
      TL_SET_ERROR(error, kLogObject, errorDomain(), result, "%s",
                   descriptionForResultCode(result).c_str());
    } else {
      answer = pid;
    }
  }
  TL_LOG_TRACE(kLogObject, "Process with %.*s = %.*s pid = %d", static_cast<int>(key.size()),
               key.data(), static_cast<int>(value.size()), value.data(), answer);
  return answer;
}

bool Process::killProcessWithBundleIdentifier(std::string_view bundleIdentifier,
                                              ErrorRecord* error) {
  const pid_t pid = pidOfProcessRunningWithBundleIdentifier(bundleIdentifier, error);
  if (pid < 0) return false;
  if (::kill(pid, SIGKILL) == 0) return true;
  const int err = errno;
  TL_SET_UNIX_ERROR(error, kLogObject, err, "kill(%d, SIGKILL): %s", pid, std::strerror(err));
  return false;
}

std::string Process::descriptionForResultCode(std::int32_t code) {
  switch (code) {
    case 0:
      return "No error";
    case -600:
      return "No eligible process with specified process serial number.";
    case -601:
      return "Not enough room to launch application with special requirements.";
    case -602:
      return "Addressing mode is 32-bit, but application is not 32-bit clean.";
    case -603:
      return "app made module calls in improper order";
    case -604:
      return "Hardware configuration not supported.";
    case -605:
      return "Partition size specified in SIZE resource is not big enough for launch.";
    case -606:
      return "Application runs in background only.";
    case -875:
      return "The application could not launch because the required platform is not available.";
    case -876:
      return "The application's creator and version are incompatible with the current version "
             "of Mac OS.";
    case -877:
      return "This application will not (or should not) run in Classic.";
    default:
      return "Unknown error";
  }
}

}  // namespace twinlens
