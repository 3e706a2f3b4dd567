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
// that runs QApplication::exec(), after the QApplication.
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

 private:
  // Receives the queued calls.
  std::unique_ptr<QObject> receiver_;
  std::atomic<bool> shutDown_{false};
  // Workers inside performAndWait; the destructor runs their queued calls (which then do
  // nothing) until none is left, so no call is ever posted to a destroyed receiver.
  std::mutex mutex_;
  int inFlight_ = 0;
};

}  // namespace twinlens
