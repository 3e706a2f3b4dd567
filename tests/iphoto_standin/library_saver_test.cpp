#include "library_saver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace twinlens::standin {
namespace {

// Records what was written and whether two writes ever overlapped.
struct Disk {
  std::mutex lock;
  std::condition_variable written;
  std::vector<std::int64_t> writes;
  std::atomic<int> inside = 0;
  std::atomic<bool> overlapped = false;
  bool fail = false;

  bool write(const AlbumValue& value, ErrorRecord* error) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    bool stored = store(value, error);
    inside.fetch_sub(1);
    return stored;
  }

  bool store(const AlbumValue& value, ErrorRecord* error) {
    std::lock_guard guard(lock);
    if (fail) {
      TL_SET_ERROR(error, this, "TestErrorDomain", 5, "disk full");
      return false;
    }
    writes.push_back(*value.integerValue());
    written.notify_all();
    return true;
  }
};

TEST(LibrarySaver, AChangeIsWrittenInTheBackground) {
  Disk disk;
  std::atomic<std::int64_t> state = 1;
  LibrarySaver saver(
      [&] { return AlbumValue::integer(state.load()); },
      [&](const AlbumValue& value, ErrorRecord* error) { return disk.write(value, error); });
  saver.changed();
  std::unique_lock lock(disk.lock);
  disk.written.wait(lock, [&] { return !disk.writes.empty(); });
  EXPECT_EQ(disk.writes.front(), 1);
}

TEST(LibrarySaver, SaveNowWritesTheLatestStateAndWritesNeverOverlap) {
  Disk disk;
  std::atomic<std::int64_t> state = 0;
  LibrarySaver saver(
      [&] { return AlbumValue::integer(state.load()); },
      [&](const AlbumValue& value, ErrorRecord* error) { return disk.write(value, error); });
  for (int i = 1; i <= 2000; ++i) {
    state = i;
    saver.changed();
  }
  ASSERT_TRUE(saver.saveNow());
  std::lock_guard lock(disk.lock);
  ASSERT_FALSE(disk.writes.empty());
  EXPECT_EQ(disk.writes.back(), 2000);
  EXPECT_FALSE(disk.overlapped);
  EXPECT_TRUE(std::is_sorted(disk.writes.begin(), disk.writes.end())) << "no older state last";
}

TEST(LibrarySaver, SaveNowWritesEvenWithoutAChangeAndReportsFailure) {
  Disk disk;
  LibrarySaver saver(
      [] { return AlbumValue::integer(7); },
      [&](const AlbumValue& value, ErrorRecord* error) { return disk.write(value, error); });
  ASSERT_TRUE(saver.saveNow());
  EXPECT_EQ(disk.writes, std::vector<std::int64_t>{7});
  disk.fail = true;
  ErrorRecord error;
  EXPECT_FALSE(saver.saveNow(&error));
  EXPECT_TRUE(error.isErrorWithDomain("TestErrorDomain", 5));
}

}  // namespace
}  // namespace twinlens::standin
