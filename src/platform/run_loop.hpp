#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/main_thread.hpp"

namespace twinlens {

// A plain main-thread loop for the command line and the tests: the thread that creates it is
// the main thread, and work handed to it runs inside run() or runUntil().
class RunLoop final : public MainThread {
 public:
  RunLoop();
  ~RunLoop() override;

  bool performAndWait(std::function<void()> work) override;
  void post(std::function<void()> work) override;
  bool isMainThread() const override;

  // Runs queued work until stop() is called.
  void run();
  // Runs queued work until `done` answers true (checked after each piece of work) or `timeout`
  // passes; true when `done` was reached.
  bool runUntil(const std::function<bool()>& done,
                std::chrono::steady_clock::duration timeout = std::chrono::hours(24));
  // Ends run(); callable from any thread.
  void stop();
  // Stops taking work for good: what is queued is dropped and waiting workers are released with
  // false. Called by the destructor.
  void shutDown();

 private:
  // What a waiting worker watches. It has its own lock, and the worker shares ownership, so
  // the loop may be destroyed as soon as the work has run, before the worker has woken up.
  struct Handover {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool cancelled = false;
  };
  struct Item {
    std::function<void()> work;
    std::shared_ptr<Handover> handover;  // null for post()
  };

  bool runOne(std::unique_lock<std::mutex>& lock);
  static void finish(Handover& handover, bool Handover::*outcome);

  std::thread::id owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  bool stopRequested_ = false;
  bool shutDown_ = false;
};

}  // namespace twinlens
