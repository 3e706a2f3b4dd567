#include "library_saver.hpp"

#include "shared/logging.hpp"

namespace twinlens::standin {

LibrarySaver::LibrarySaver(Snapshot snapshot, Write write)
    : snapshot_(std::move(snapshot)), write_(std::move(write)), thread_([this] { run(); }) {}

LibrarySaver::~LibrarySaver() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LibrarySaver::changed() {
  {
    std::lock_guard lock(mutex_);
    dirty_ = true;
  }
  wake_.notify_all();
}

bool LibrarySaver::saveNow(ErrorRecord* error) {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return !writing_; });
  dirty_ = false;
  writing_ = true;
  lock.unlock();
  bool saved = write_(snapshot_(), error);
  lock.lock();
  writing_ = false;
  lock.unlock();
  wake_.notify_all();
  return saved;
}

void LibrarySaver::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || (dirty_ && !writing_); });
    if (stopping_) return;
    dirty_ = false;
    writing_ = true;
    lock.unlock();
    ErrorRecord error;
    if (!write_(snapshot_(), &error))
      logError("failed to save the library: %s", error.description().c_str());
    lock.lock();
    writing_ = false;
    wake_.notify_all();
  }
}

}  // namespace twinlens::standin
