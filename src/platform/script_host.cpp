#include "platform/script_host.hpp"

#include <mutex>
#include <utility>

#include "shared/programming_error.hpp"

namespace twinlens {

namespace {

std::mutex standardHostLock;
std::shared_ptr<ScriptHost>& standardHostSlot() {
  static std::shared_ptr<ScriptHost> host;
  return host;
}

}  // namespace

ScriptOutcome ScriptOutcome::success(AppleEventDescriptor result) {
  ScriptOutcome outcome;
  outcome.result = std::move(result);
  return outcome;
}

ScriptOutcome ScriptOutcome::failure(std::int64_t number, std::string message) {
  ScriptOutcome outcome;
  outcome.errorInfo.insert_or_assign(kAppleScriptErrorNumberKey, PListValue::integer(number));
  outcome.errorInfo.insert_or_assign(kAppleScriptErrorMessageKey,
                                     PListValue::text(std::move(message)));
  return outcome;
}

ScriptHost& ScriptHost::standard() {
  std::lock_guard lock(standardHostLock);
  if (!standardHostSlot()) throw ProgrammingError("no script host chosen");
  return *standardHostSlot();
}

std::shared_ptr<ScriptHost> ScriptHost::setStandard(std::shared_ptr<ScriptHost> host) {
  std::lock_guard lock(standardHostLock);
  return std::exchange(standardHostSlot(), std::move(host));
}

}  // namespace twinlens
