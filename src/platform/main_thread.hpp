#pragma once

#include <functional>

namespace twinlens {

// Hands work from worker threads to the thread that owns the windows (or, on the command line,
// the thread that runs the loop). All window work, every change that observers see and every
// script command run there; workers hand their calls over and wait.
class MainThread {
 public:
  virtual ~MainThread() = default;

  // Runs `work` on the main thread and returns once it has run; on the main thread itself it
  // runs at once. False when the main thread has stopped taking work, in which case `work` did
  // not run and never will.
  virtual bool performAndWait(std::function<void()> work) = 0;
  // Queues `work` to run on the main thread after the current event; never runs it at once.
  virtual void post(std::function<void()> work) = 0;
  virtual bool isMainThread() const = 0;

  // Throws ProgrammingError "must be on main thread" when called from any other thread.
  void requireMainThread() const;
};

}  // namespace twinlens
