// Whole scans of a folder of photo files (scan --folder) through the Cataloger: a cold scan (no
// cache) of over 1 GiB of JPEGs against one `openssl dgst -sha1` of the same files, and a warm
// rescan (nothing changed) of 100,000 files against a walk that stats every file of the folder.
// Files are in the page cache for both sides of each comparison.
#include <benchmark/benchmark.h>
#include <ftw.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalog/cataloger.hpp"
#include "catalog/defaults.hpp"
#include "platform/run_loop.hpp"
#include "ratio_reporter.hpp"
#include "sample/jpeg_builder.hpp"

namespace {

struct Fixture {
  std::string folder;
  Fixture() {
    const char* base = std::getenv("TMPDIR");
    folder = std::string(base && *base ? base : "/tmp") + "/twinlens-folder-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) std::abort();
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
  }
  ~Fixture() { std::filesystem::remove_all(folder); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// `count` JPEGs of about `imageBytes` each, 500 to a folder, every tenth a metadata-only copy of
// the one before; the folder's path and its total size.
struct BenchFolder {
  std::string path;
  std::uint64_t bytes = 0;
};

BenchFolder makeFolder(const std::string& name, std::size_t count, std::size_t imageBytes) {
  BenchFolder made{fixture().folder + "/" + name};
  for (std::size_t i = 0; i < count; ++i) {
    const auto seed = static_cast<std::uint32_t>(i % 10 == 9 ? i - 1 : i);
    const twinlens::Data photo =
        twinlens::sample::samplePhoto(seed, imageBytes, "Camera " + std::to_string(i));
    const std::string folder = made.path + "/roll" + std::to_string(i / 500);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/IMG_" + std::to_string(i) + ".jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(photo.data()),
               static_cast<std::streamsize>(photo.size()));
    made.bytes += photo.size();
  }
  return made;
}

const BenchFolder& gigabyteFolder() {
  static const BenchFolder folder = makeFolder("gigabyte", 1600, 700 * 1000);
  return folder;
}

const BenchFolder& hundredThousandFolder() {
  static const BenchFolder folder = makeFolder("100k", 100000, 200);
  return folder;
}

void scan(const std::string& folder) {
  twinlens::RunLoop loop;
  auto cataloger = std::make_shared<twinlens::Cataloger>(
      loop, std::make_shared<twinlens::Defaults>(nullptr, nullptr));
  struct Delegate : twinlens::CatalogerDelegate {
    twinlens::RunLoop* loop;
    bool ok = false;
    void catalogingDidSucceed(std::uint64_t) override {
      ok = true;
      loop->stop();
    }
    void catalogingDidFail(const twinlens::ErrorRecord&) override { loop->stop(); }
  } delegate;
  delegate.loop = &loop;
  cataloger->setDelegate(&delegate);
  cataloger->setFolderPath(folder);
  cataloger->start();
  loop.run();
  if (!delegate.ok) std::abort();
}

void removeCache() {
  std::filesystem::remove_all(fixture().folder + "/data");
}

void BM_FolderOpensslDgstSha1(benchmark::State& state) {
  const BenchFolder& folder = gigabyteFolder();
  const std::string command =
      "find '" + folder.path + "' -type f -print0 | xargs -0 openssl dgst -sha1 > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) std::abort();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * folder.bytes));
}

void BM_FolderColdScan(benchmark::State& state) {
  const BenchFolder& folder = gigabyteFolder();
  for (auto _ : state) {
    state.PauseTiming();
    removeCache();
    state.ResumeTiming();
    scan(folder.path);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * folder.bytes));
}

// The least any rescan must do: walk the folder and stat every file once.
void BM_FolderStatWalk100k(benchmark::State& state) {
  const BenchFolder& folder = hundredThousandFolder();
  for (auto _ : state) {
    static std::size_t files;
    files = 0;
    auto count = [](const char*, const struct stat* info, int kind, FTW*) {
      if (kind == FTW_F && info->st_size > 0) ++files;
      return 0;
    };
    if (::nftw(folder.path.c_str(), count, 64, FTW_PHYS) != 0 || files != 100000) std::abort();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 100000));
}

void BM_FolderWarmRescan100k(benchmark::State& state) {
  const BenchFolder& folder = hundredThousandFolder();
  removeCache();
  scan(folder.path);
  for (auto _ : state) scan(folder.path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 100000));
}

BENCHMARK(BM_FolderOpensslDgstSha1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_FolderColdScan)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_FolderStatWalk100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_FolderWarmRescan100k)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  return twinlens::bench::runWithRatios(argc, argv,
                                        {{"BM_FolderColdScan", "BM_FolderOpensslDgstSha1",
                                          "folder cold scan / openssl dgst -sha1", 0.65},
                                         {"BM_FolderWarmRescan100k", "BM_FolderStatWalk100k",
                                          "folder warm rescan / stat walk (100,000 files)", 2.5}});
}
