#include "platform/script_host.hpp"

#include <mutex>

#include "platform/socket_script_host.hpp"

namespace twinlens {

namespace {

std::shared_ptr<ScriptHost> makeDefaultHost() {
  return std::make_shared<SocketScriptHost>();
}

std::mutex standardHostLock;
std::shared_ptr<ScriptHost>& standardHostSlot() {
  static std::shared_ptr<ScriptHost> host = makeDefaultHost();
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
  return *standardHostSlot();
}

void ScriptHost::setStandard(std::shared_ptr<ScriptHost> host) {
  std::lock_guard lock(standardHostLock);
  standardHostSlot() = host ? std::move(host) : makeDefaultHost();
}

}  // namespace twinlens
