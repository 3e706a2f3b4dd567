#include "platform/run_loop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace twinlens {
namespace {

TEST(RunLoop, PerformOnTheMainThreadRunsAtOnceAndPostWaitsForTheLoop) {
  RunLoop loop;
  int order = 0;
  int posted = 0, performed = 0;
  loop.post([&] { posted = ++order; });
  loop.performAndWait([&] { performed = ++order; });
  EXPECT_EQ(performed, 1);
  EXPECT_EQ(posted, 0);
  EXPECT_TRUE(loop.runUntil([&] { return posted != 0; }, std::chrono::seconds(5)));
  EXPECT_EQ(posted, 2);
}

TEST(RunLoop, ShutDownReleasesWaitingWorkersWithoutRunningTheirWork) {
  RunLoop loop;
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = loop.performAndWait([&] { ran = true; }) ? 1 : 0; });
  // Whether the worker has queued its call yet or not, it must come back with false.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  loop.shutDown();
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(result, 0);
  loop.post([&] { ran = true; });
  EXPECT_FALSE(loop.runUntil([&] { return ran.load(); }, std::chrono::milliseconds(10)));
}

}  // namespace
}  // namespace twinlens
