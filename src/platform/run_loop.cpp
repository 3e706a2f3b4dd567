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
  auto handover = std::make_shared<Handover>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return false;
    queue_.push_back({std::move(work), handover});
    wake_.notify_all();
  }
  std::unique_lock<std::mutex> lock(handover->mutex);
  handover->finished.wait(lock, [&] { return handover->done || handover->cancelled; });
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
  lock.unlock();
  item.work();
  if (item.handover) finish(*item.handover, &Handover::done);
  lock.lock();
  return true;
}

void RunLoop::finish(Handover& handover, bool Handover::*outcome) {
  {
    std::lock_guard<std::mutex> guard(handover.mutex);
    handover.*outcome = true;
  }
  handover.finished.notify_all();
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
  for (Item& item : queue_)
    if (item.handover) finish(*item.handover, &Handover::cancelled);
  queue_.clear();
  wake_.notify_all();
}

}  // namespace twinlens
