#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace twinlens {

// The threads that hash a scan's photos. The scan's worker hands work in and waits for each
// piece in its own order. Once `cancel` is set no queued piece starts. When the pool goes, idle
// threads are joined and busy ones are left to finish their piece on their own, so a file that
// hangs holds up neither a cancel nor the end of the scan.
class HashingPool {
 public:
  struct Item {
    std::function<void()> work;
    bool done = false;
  };

  HashingPool(unsigned threadCount, std::shared_ptr<const std::atomic<bool>> cancel);
  ~HashingPool();
  HashingPool(const HashingPool&) = delete;
  HashingPool& operator=(const HashingPool&) = delete;

  // One thread per core unless TWINLENS_HASH_THREADS names a count; at least one.
  static unsigned defaultThreadCount();

  std::shared_ptr<Item> submit(std::function<void()> work);
  // True once `item` has run; false as soon as cancel is seen first.
  bool wait(const Item& item);

 private:
  struct Shared;
  static void threadMain(std::shared_ptr<Shared> shared, std::size_t index);

  std::shared_ptr<Shared> shared_;
  std::vector<std::thread> threads_;
};

}  // namespace twinlens
