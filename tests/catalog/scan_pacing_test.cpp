#include <gtest/gtest.h>

#include <atomic>

#include "catalog/cataloger.hpp"
#include "catalog/defaults.hpp"
#include "platform/run_loop.hpp"
#include "sample/jpeg_builder.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The photo reported and the hashed photos in the cache file then (-1: no cache file yet).
using Report = std::pair<std::uint64_t, int>;

// Scans a folder of six photos on a clock that moves a step at every reading and, when it moves,
// jumps 30 s at the report of the third photo.
TEST(ScanPacingTest, ProgressWaitsForATenthOfASecondAndTheCacheIsSavedEveryThirtySeconds) {
  struct Row {
    const char* name;
    int stepMilliseconds;
    std::vector<Report> reports;
  };
  const std::vector<Row> rows = {
      {"a still clock: the first report and the final one, no part-way save",
       0,
       {{1, -1}, {6, -1}}},
      {"every photo reported; the save after the jump holds the three hashed so far",
       200,
       {{1, -1}, {2, -1}, {3, -1}, {4, 3}, {5, 3}, {6, 3}, {6, 3}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::TempDir dir;
    testing::ScopedEnv dataHome("XDG_DATA_HOME", dir.file("data").c_str());
    for (std::uint32_t seed = 1; seed <= 6; ++seed)
      dir.write("photos/" + std::to_string(seed) + ".jpg", sample::samplePhoto(seed, 2000, "C"));
    const std::string folder = dir.file("photos");
    RunLoop loop;
    struct Delegate : CatalogerDelegate {
      RunLoop& loop;
      explicit Delegate(RunLoop& l) : loop(l) {}
      void catalogingDidSucceed(std::uint64_t) override { loop.stop(); }
      void catalogingDidFail(const ErrorRecord& error) override {
        ADD_FAILURE() << error.description();
        loop.stop();
      }
    } delegate(loop);
    std::atomic<int> elapsedMilliseconds{0};
    auto cataloger =
        std::make_shared<Cataloger>(loop, std::make_shared<Defaults>(nullptr, nullptr));
    cataloger->setDelegate(&delegate);
    cataloger->setFolderPath(folder);
    cataloger->setHashThreadCount(1);
    cataloger->setClock([&] {
      return steady_clock::time_point(
          milliseconds(elapsedMilliseconds.fetch_add(row.stepMilliseconds)));
    });
    std::vector<Report> reports;
    cataloger->setChangeCallback([&](std::string_view property) {
      if (property != "catalogingProgress" || cataloger->total() == 0) return;
      int hashes = -1;
      if (auto cached = PhotoLibrary::initFromCacheWithIPhotoLibraryPath(
              folder, PhotoLibrary::cachePathForFolderPath(folder));
          cached && cached->count() > 0) {
        hashes = 0;
        for (const auto& [key, photo] : cached->photosByIPhotoKey())
          hashes += photo->originalSHA1() ? 1 : 0;
      }
      reports.push_back({cataloger->current(), hashes});
      if (cataloger->current() == 3 && row.stepMilliseconds > 0) elapsedMilliseconds += 30'000;
    });
    cataloger->start();
    loop.run();
    ASSERT_TRUE(cataloger->waitForWorkers(std::chrono::seconds(10)));
    EXPECT_EQ(reports, row.reports);
  }
}

}  // namespace
}  // namespace twinlens
