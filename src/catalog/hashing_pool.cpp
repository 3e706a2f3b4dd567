#include "catalog/hashing_pool.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "crypto/sha1_hash.hpp"

namespace twinlens {

struct HashingPool::Shared {
  std::mutex mutex;
  std::condition_variable workReady;
  // An item is done, or a thread has left.
  std::condition_variable changed;
  std::deque<std::shared_ptr<Item>> queue;
  bool closing = false;
  std::size_t busy = 0;
  std::size_t exitedCount = 0;
  std::vector<char> exited;
  std::shared_ptr<const std::atomic<bool>> cancel;
};

HashingPool::HashingPool(unsigned threadCount, std::shared_ptr<const std::atomic<bool>> cancel)
    : shared_(std::make_shared<Shared>()) {
  threadCount = std::max(threadCount, 1u);
  shared_->exited.assign(threadCount, 0);
  shared_->cancel = std::move(cancel);
  for (std::size_t i = 0; i < threadCount; ++i) threads_.emplace_back(threadMain, shared_, i);
}

HashingPool::~HashingPool() {
  std::vector<char> exited;
  {
    std::unique_lock lock(shared_->mutex);
    shared_->closing = true;
    shared_->queue.clear();
    shared_->workReady.notify_all();
    shared_->changed.wait(
        lock, [this] { return shared_->exitedCount + shared_->busy == threads_.size(); });
    exited = shared_->exited;
  }
  for (std::size_t i = 0; i < threads_.size(); ++i) {
    if (exited[i])
      threads_[i].join();
    else
      threads_[i].detach();
  }
}

unsigned HashingPool::defaultThreadCount() {
  if (const char* forced = std::getenv("TWINLENS_HASH_THREADS")) {
    long count = std::strtol(forced, nullptr, 10);
    if (count > 0 && count <= 1024) return static_cast<unsigned>(count);
  }
  return std::max(std::thread::hardware_concurrency(), 1u);
}

std::shared_ptr<HashingPool::Item> HashingPool::submit(std::function<void()> work) {
  auto item = std::make_shared<Item>();
  item->work = std::move(work);
  std::lock_guard lock(shared_->mutex);
  shared_->queue.push_back(item);
  shared_->workReady.notify_one();
  return item;
}

bool HashingPool::wait(const Item& item) {
  std::unique_lock lock(shared_->mutex);
  // The cancel flag is a plain flag with no wake-up of its own, so it is polled; it wins over a
  // finished item, so a cancelled scan records nothing that was still under way.
  for (;;) {
    if (shared_->cancel->load()) return false;
    if (item.done) return true;
    shared_->changed.wait_for(lock, std::chrono::milliseconds(20));
  }
}

void HashingPool::threadMain(std::shared_ptr<Shared> shared, std::size_t index) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->workReady.wait(lock, [&] { return shared->closing || !shared->queue.empty(); });
    if (shared->closing) break;
    std::shared_ptr<Item> item = std::move(shared->queue.front());
    shared->queue.pop_front();
    if (shared->cancel->load()) continue;
    ++shared->busy;
    lock.unlock();
    item->work();
    lock.lock();
    --shared->busy;
    item->done = true;
    shared->changed.notify_all();
  }
  shared->exited[index] = 1;
  ++shared->exitedCount;
  shared->changed.notify_all();
  lock.unlock();
  SHA1Hash::releaseThreadResources();
}

}  // namespace twinlens
