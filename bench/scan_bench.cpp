// Whole scans through the Cataloger: a cold scan (no cache) of over 1 GiB of photos, on every core
// and on one hashing thread, against one `openssl dgst -sha1` of the same files, and a warm rescan
// (nothing changed) of 100,000 photos against a walk that stats every photo file, with the
// rescan's peak memory. Files are in the page cache for both sides of each comparison.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/cataloger.hpp"
#include "catalog/defaults.hpp"
#include "platform/run_loop.hpp"
#include "ratio_reporter.hpp"
#include "sample/sample_library.hpp"

namespace {

using twinlens::sample::SampleLibrary;
using twinlens::sample::SampleLibraryOptions;

std::string benchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/twinlens-scan-bench-XXXXXX";
  if (!::mkdtemp(folder.data())) std::abort();
  return folder;
}

struct Fixture {
  std::string folder = benchFolder();
  Fixture() { ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1); }
  ~Fixture() { std::filesystem::remove_all(folder); }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

const SampleLibrary& library(const std::string& name, SampleLibraryOptions options) {
  static std::map<std::string, std::unique_ptr<SampleLibrary>> made;
  auto& slot = made[name];
  if (!slot) {
    slot = std::make_unique<SampleLibrary>(fixture().folder + "/" + name, options);
    if (!slot->write()) std::abort();
  }
  return *slot;
}

const SampleLibrary& gigabyteLibrary() {
  SampleLibraryOptions options;
  options.photoCount = 1600;
  options.imageBytes = 700 * 1000;
  options.missingCount = 0;
  options.unlistedCount = 0;
  return library("gigabyte", options);
}

const SampleLibrary& hundredThousandLibrary() {
  SampleLibraryOptions options;
  options.photoCount = 100000;
  options.imageBytes = 200;
  options.missingCount = 0;
  options.unlistedCount = 0;
  options.photosPerRoll = 500;
  return library("100k", options);
}

// One scan on a fresh main-thread loop, with hashThreads hashing threads (0: one per core);
// aborts when it does not succeed.
void scan(const std::string& libraryPath, unsigned hashThreads = 0) {
  twinlens::RunLoop loop;
  auto cataloger = std::make_shared<twinlens::Cataloger>(
      loop, std::make_shared<twinlens::Defaults>(nullptr, nullptr));
  cataloger->setHashThreadCount(hashThreads);
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
  cataloger->setIPhotoLibraryPath(libraryPath);
  cataloger->start();
  loop.run();
  if (!delegate.ok) std::abort();
}

void removeCache() {
  std::filesystem::remove_all(fixture().folder + "/data");
}

std::uint64_t totalImageBytes(const SampleLibrary& lib) {
  std::uint64_t total = 0;
  for (const auto& photo : lib.photos()) {
    total += std::filesystem::file_size(photo.originalFile());
    if (photo.originalPath) total += std::filesystem::file_size(photo.imagePath);
  }
  return total;
}

void BM_OpensslDgstSha1(benchmark::State& state) {
  const SampleLibrary& lib = gigabyteLibrary();
  std::string command =
      "cd '" + lib.libraryPath() +
      "' && find Originals Modified -type f -print0 | xargs -0 openssl dgst -sha1 > /dev/null";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) std::abort();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalImageBytes(lib)));
}

void coldScan(benchmark::State& state, unsigned hashThreads) {
  const SampleLibrary& lib = gigabyteLibrary();
  for (auto _ : state) {
    state.PauseTiming();
    removeCache();
    state.ResumeTiming();
    scan(lib.libraryPath(), hashThreads);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * totalImageBytes(lib)));
}

void BM_ColdScan(benchmark::State& state) {
  coldScan(state, 0);
}

void BM_ColdScanOneThread(benchmark::State& state) {
  coldScan(state, 1);
}

// The least any rescan must do: stat every photo file once.
void BM_StatWalk100k(benchmark::State& state) {
  const SampleLibrary& lib = hundredThousandLibrary();
  std::vector<std::string> files;
  for (const auto& photo : lib.photos()) {
    files.push_back(photo.originalFile());
    if (photo.originalPath) files.push_back(photo.imagePath);
  }
  for (auto _ : state)
    for (const std::string& file : files) {
      struct stat info;
      if (::stat(file.c_str(), &info) != 0 || info.st_size == 0) std::abort();
      benchmark::DoNotOptimize(info.st_mtim);
    }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lib.photos().size()));
}

// The peak resident memory of one rescan by twinlens-cli, measured by /usr/bin/time: a process
// forked from this one would count this program's copy of the libraries too.
double rescanPeakMebibytes(const std::string& libraryPath) {
  const std::filesystem::path bench = std::filesystem::read_symlink("/proc/self/exe");
  const std::string cli = bench.parent_path().parent_path() / "src/cli/twinlens-cli";
  const std::string report = fixture().folder + "/peak-kib";
  const std::string command = "/usr/bin/time -f %M -o '" + report + "' '" + cli +
                              "' scan --no-progress --library '" + libraryPath + "' > /dev/null";
  if (std::system(command.c_str()) != 0) std::abort();
  std::ifstream in(report);
  double kibibytes = 0;
  in >> kibibytes;
  return kibibytes / 1024.0;
}

void BM_WarmRescan100k(benchmark::State& state) {
  const SampleLibrary& lib = hundredThousandLibrary();
  // As in real use, the catalogue was written well before the scans, not a moment ago.
  auto catalogue = std::filesystem::path(lib.libraryPath()) / "AlbumData.xml";
  std::filesystem::last_write_time(
      catalogue, std::filesystem::last_write_time(catalogue) - std::chrono::hours(1));
  removeCache();
  scan(lib.libraryPath());
  for (auto _ : state) scan(lib.libraryPath());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lib.photos().size()));
  state.counters["peak_MiB"] = rescanPeakMebibytes(lib.libraryPath());
}

BENCHMARK(BM_OpensslDgstSha1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_ColdScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_ColdScanOneThread)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_StatWalk100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_WarmRescan100k)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  return twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_ColdScan", "BM_OpensslDgstSha1", "cold scan / openssl dgst -sha1", 0.65},
       {"BM_ColdScanOneThread", "BM_OpensslDgstSha1", "cold scan, one thread / openssl dgst -sha1",
        1.05 * 1.18},
       {"BM_WarmRescan100k", "BM_StatWalk100k", "warm rescan / stat walk (100,000 photos)", 2.5}});
}
