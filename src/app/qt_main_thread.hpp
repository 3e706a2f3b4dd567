#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/main_thread.hpp"

namespace twinlens {

// The window system's thread as the core's main thread: work handed over from a worker runs in
// the Qt event loop. Once the application is about to quit, or this object is being destroyed,
// no more work is taken and waiting workers are released with false. Create it on the thread
// that runs QApplication::exec(), after the QApplication; workers may call in only while it
// exists.
class QtMainThread final : public MainThread {
 public:
  QtMainThread();
  ~QtMainThread() override;
  QtMainThread(const QtMainThread&) = delete;
  QtMainThread& operator=(const QtMainThread&) = delete;

  bool performAndWait(std::function<void()> work) override;
  void post(std::function<void()> work) override;
  bool isMainThread() const override;

  // Stops taking work; called on aboutToQuit and by the destructor.
  void shutDown();
  bool isShutDown() const { return shutDown_; }
  // Runs the work handed over so far (once shut down, only releases its workers), for a caller
  // that waits for a worker without returning to the event loop.
  void runHandedOverWork();
  // How many workers are inside performAndWait.
  int workersWaiting() const;

 private:
  // Receives the queued calls.
  std::unique_ptr<QObject> receiver_;
  std::atomic<bool> shutDown_{false};
  // Workers inside performAndWait; the destructor runs their queued calls (which then do
  // nothing) until none is left, so no call is ever posted to a destroyed receiver.
  mutable std::mutex mutex_;
  int inFlight_ = 0;
};

}  // namespace twinlens
