#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "iphoto/apple_script.hpp"
#include "platform/main_thread.hpp"

namespace twinlens {

class ScriptRunner;

// Told on the main thread, after the sheet has closed, that a run has ended.
class ScriptRunnerDelegate {
 public:
  virtual ~ScriptRunnerDelegate() = default;
  virtual void scriptRunnerDidFinish(ScriptRunner& runner) = 0;
};

// The runner's sheet as the window system shows it: message, warning unless hidden, spinner,
// progress bar and a Cancel button enabled by cancelable(). Called on the main thread only.
class ScriptRunnerView {
 public:
  virtual ~ScriptRunnerView() = default;
  // Shows the sheet on the main window and starts the spinner.
  virtual void showScriptRunnerSheet() = 0;
  // Stops the spinner, ends the sheet and orders it out.
  virtual void endScriptRunnerSheet() = 0;
};

// Runs a list of iPhoto commands one after another: a worker thread walks the list and hands
// each command to the main thread, waiting for it, and checks for cancellation in between.
// Create with std::make_shared: the worker keeps the runner alive until it has finished.
class ScriptRunner : public std::enable_shared_from_this<ScriptRunner> {
 public:
  using ChangeCallback = std::function<void(std::string_view property)>;
  using Scripts = std::vector<std::shared_ptr<AppleScript>>;

  explicit ScriptRunner(MainThread& mainThread);

  void setDelegate(ScriptRunnerDelegate* delegate) { delegate_ = delegate; }
  void setView(ScriptRunnerView* view) { view_ = view; }
  // Told the name of each observable property ("message", "warning", "hideWarning",
  // "cancelable", "progress", "abortRequested") when it changes; on the main thread.
  void setChangeCallback(ChangeCallback callback) { changed_ = std::move(callback); }

  void setMessage(std::string message);
  std::string message() const;
  void setWarning(std::string warning);
  std::string warning() const;
  void setHideWarning(bool hide);
  bool hideWarning() const { return hideWarning_; }
  void setCancelable(bool cancelable);
  bool cancelable() const { return cancelable_; }
  // Takes a copy of the list (the commands themselves are shared).
  void setScripts(const Scripts& scripts);
  Scripts scripts() const;

  // Shows the sheet and starts the run; main thread, and not while a run is going on.
  void start();
  // The sheet's Cancel: the run stops before the next command.
  void cancel();
  bool abortRequested() const { return abortRequested_; }

  // scriptIndex / count, but never 1.0 (0.99999999 instead); 0 for an empty list. Each read
  // logs the two numbers at Debug.
  double progress() const;
  std::size_t scriptIndex() const { return scriptIndex_; }
  // The commands that failed in the last run (copies of them), in no particular order.
  Scripts failedScripts() const;
  // The error record of a failed command as failedScripts() returns it; null for any other.
  // Valid until the next run starts.
  const ErrorRecord* errorForScript(const AppleScript* script) const;

  static const char* errorDomain() { return "ScriptRunnerErrorDomain"; }

 private:
  void run();
  void doRun();
  // False when the main thread stopped taking work part-way.
  bool runEach(const Scripts& scripts);
  void runScript(const std::shared_ptr<AppleScript>& script);
  void incrementIndex();
  void didFinish();
  void announce(std::string_view property);

  MainThread& mainThread_;
  ScriptRunnerDelegate* delegate_ = nullptr;
  ScriptRunnerView* view_ = nullptr;
  ChangeCallback changed_;
  // Private state (message, warning, scripts, errors) is declared by the implementation.
  struct State;
  std::shared_ptr<State> state_;
  bool hideWarning_ = false;
  bool cancelable_ = false;
  // From start() until didFinish(); a second start() meanwhile is a programming error.
  bool running_ = false;
  std::size_t scriptIndex_ = 0;
  std::atomic<bool> abortRequested_{false};
};

}  // namespace twinlens
