#include "platform/run_loop.hpp"

namespace twinlens {

RunLoop::RunLoop() : owner_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() {
  shutDown();
}

bool RunLoop::isMainThread() const {
  return std::this_thread::get_id() == owner_;
}

bool RunLoop::performAndWait(std::function<void()> work) {
  if (isMainThread()) {
    work();
    return true;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (shutDown_) return false;
  auto handover = std::make_shared<Handover>();
  queue_.push_back({std::move(work), handover});
  wake_.notify_all();
  finished_.wait(lock, [&] { return handover->done || (shutDown_ && !handover->started); });
  return handover->done;
}

void RunLoop::post(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shutDown_) return;
  queue_.push_back({std::move(work), nullptr});
  wake_.notify_all();
}

bool RunLoop::runOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  Item item = std::move(queue_.front());
  queue_.pop_front();
  if (item.handover) item.handover->started = true;
  lock.unlock();
  item.work();
  lock.lock();
  if (item.handover) {
    item.handover->done = true;
    finished_.notify_all();
  }
  return true;
}

void RunLoop::run() {
  requireMainThread();
  std::unique_lock<std::mutex> lock(mutex_);
  stopRequested_ = false;
  while (!stopRequested_ && !shutDown_) {
    if (!runOne(lock))
      wake_.wait(lock, [&] { return !queue_.empty() || stopRequested_ || shutDown_; });
  }
}

bool RunLoop::runUntil(const std::function<bool()>& done,
                       std::chrono::steady_clock::duration timeout) {
  requireMainThread();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    lock.unlock();
    bool reached = done();
    lock.lock();
    if (reached) return true;
    if (shutDown_) return false;
    if (runOne(lock)) continue;
    if (!wake_.wait_until(lock, deadline, [&] { return !queue_.empty() || shutDown_; }))
      return false;
  }
}

void RunLoop::stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopRequested_ = true;
  wake_.notify_all();
}

void RunLoop::shutDown() {
  std::lock_guard<std::mutex> lock(mutex_);
  shutDown_ = true;
  queue_.clear();
  wake_.notify_all();
  finished_.notify_all();
}

}  // namespace twinlens
