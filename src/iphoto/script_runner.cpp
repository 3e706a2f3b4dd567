#include "iphoto/script_runner.hpp"

#include <mutex>
#include <thread>
#include <unordered_map>

#include "shared/logging.hpp"
#include "shared/programming_error.hpp"

namespace twinlens {

// What the worker and the main thread may both touch, behind one lock: the texts are atomic
// properties, the list is read by the worker, and the failures are emptied there.
struct ScriptRunner::State {
  struct Failure {
    std::shared_ptr<AppleScript> script;  // the copy that the table files
    ErrorRecord error;
  };

  mutable std::mutex mutex;
  std::string message;
  std::string warning;
  Scripts scripts;
  std::unordered_map<const AppleScript*, Failure> errorsByScript;
};

ScriptRunner::ScriptRunner(MainThread& mainThread)
    : mainThread_(mainThread), state_(std::make_shared<State>()) {}

void ScriptRunner::announce(std::string_view property) {
  if (changed_) changed_(property);
}

void ScriptRunner::setMessage(std::string message) {
  {
    std::lock_guard lock(state_->mutex);
    state_->message = std::move(message);
  }
  announce("message");
}

std::string ScriptRunner::message() const {
  std::lock_guard lock(state_->mutex);
  return state_->message;
}

void ScriptRunner::setWarning(std::string warning) {
  {
    std::lock_guard lock(state_->mutex);
    state_->warning = std::move(warning);
  }
  announce("warning");
}

std::string ScriptRunner::warning() const {
  std::lock_guard lock(state_->mutex);
  return state_->warning;
}

void ScriptRunner::setHideWarning(bool hide) {
  hideWarning_ = hide;
  announce("hideWarning");
}

void ScriptRunner::setCancelable(bool cancelable) {
  cancelable_ = cancelable;
  announce("cancelable");
}

void ScriptRunner::setScripts(const Scripts& scripts) {
  std::lock_guard lock(state_->mutex);
  state_->scripts = scripts;
}

ScriptRunner::Scripts ScriptRunner::scripts() const {
  std::lock_guard lock(state_->mutex);
  return state_->scripts;
}

void ScriptRunner::start() {
  mainThread_.requireMainThread();
  if (running_) throw ProgrammingError("script runner already running");
  running_ = true;
  if (view_) view_->showScriptRunnerSheet();
  scriptIndex_ = 0;
  abortRequested_ = false;
  announce("abortRequested");
  announce("progress");
  std::thread([self = shared_from_this()] { self->run(); }).detach();
}

void ScriptRunner::cancel() {
  abortRequested_ = true;
  announce("abortRequested");
}

double ScriptRunner::progress() const {
  std::size_t total = 0;
  {
    std::lock_guard lock(state_->mutex);
    total = state_->scripts.size();
  }
  TL_LOG_DEBUG(this, "scriptIndex = %lu scriptTotal = %lu",
               static_cast<unsigned long>(scriptIndex_), static_cast<unsigned long>(total));
  // An empty list has nothing to do, which counts as not yet begun.
  if (total == 0) return 0;
  double quotient = static_cast<double>(scriptIndex_) / static_cast<double>(total);
  return quotient == 1.0 ? 0.99999999 : quotient;
}

ScriptRunner::Scripts ScriptRunner::failedScripts() const {
  std::lock_guard lock(state_->mutex);
  Scripts failed;
  failed.reserve(state_->errorsByScript.size());
  for (const auto& [key, failure] : state_->errorsByScript) failed.push_back(failure.script);
  return failed;
}

const ErrorRecord* ScriptRunner::errorForScript(const AppleScript* script) const {
  std::lock_guard lock(state_->mutex);
  auto found = state_->errorsByScript.find(script);
  return found == state_->errorsByScript.end() ? nullptr : &found->second.error;
}

void ScriptRunner::run() {
  doRun();
}

void ScriptRunner::doRun() {
  {
    std::lock_guard lock(state_->mutex);
    state_->errorsByScript.clear();
  }
  // The worker's copy of the list is gone before the delegate hears of the end, so no command
  // outlives the run on this thread's account.
  if (!runEach(this->scripts())) return;
  mainThread_.post([self = shared_from_this()] { self->didFinish(); });
}

bool ScriptRunner::runEach(const Scripts& scripts) {
  for (const std::shared_ptr<AppleScript>& script : scripts) {
    if (abortRequested_) break;
    // The main thread going away ends the run: nothing is left to tell.
    if (!mainThread_.performAndWait([this, &script] { runScript(script); })) return false;
    if (!mainThread_.performAndWait([this] { incrementIndex(); })) return false;
  }
  return true;
}

void ScriptRunner::runScript(const std::shared_ptr<AppleScript>& script) {
  TL_LOG_DEBUG(this, "running script: %s", script->description().c_str());
  ErrorRecord error;
  if (script->execute(&error)) return;
  std::shared_ptr<AppleScript> key = script->copy();
  std::lock_guard lock(state_->mutex);
  const AppleScript* place = key.get();
  state_->errorsByScript.insert_or_assign(place, State::Failure{std::move(key), std::move(error)});
}

void ScriptRunner::incrementIndex() {
  ++scriptIndex_;
  announce("progress");
}

void ScriptRunner::didFinish() {
  mainThread_.requireMainThread();
  running_ = false;
  if (view_) view_->endScriptRunnerSheet();
  if (delegate_) delegate_->scriptRunnerDidFinish(*this);
}

}  // namespace twinlens
