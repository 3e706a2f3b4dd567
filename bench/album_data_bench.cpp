// Reading the catalogue of a 100,000-photo library against the floor of libxml2's own streaming
// reader over the same file (`xmllint --stream --noout`, tokenising alone), the parse's peak
// memory against the file's size, and weeding a million photo records for duplicates.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/duplicate_results.hpp"
#include "catalog/photo_library.hpp"
#include "io/data_input_stream.hpp"
#include "platform/plist_reader.hpp"
#include "ratio_reporter.hpp"
#include "sample/sample_library.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kCataloguePhotos = 100000;
constexpr std::size_t kWeedRecords = 1000000;
constexpr const char* kPeakChildFlag = "--album-data-peak-child";

std::string makeTempFolder(const char* name) {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/" + name + "-XXXXXX";
  if (!::mkdtemp(folder.data())) std::abort();
  return folder;
}

// AlbumData.xml of a generated library of 100,000 photos, written once per run.
struct Catalogue {
  std::string folder;
  std::string path;
  std::uint64_t size = 0;

  Catalogue() : folder(makeTempFolder("twinlens-album-bench")) {
    twinlens::sample::SampleLibraryOptions options;
    options.photoCount = kCataloguePhotos;
    options.writeImages = false;
    options.photosPerRoll = 40;
    options.exactCopyFraction = options.metadataCopyFraction = options.editedFraction = 0.05;
    options.editedAsOtherFraction = 0.01;
    twinlens::sample::SampleLibrary library(folder + "/Users/someone/Pictures/iPhoto Library",
                                            options);
    twinlens::ErrorRecord error;
    if (!library.writeAlbumData(&error)) {
      std::fprintf(stderr, "cannot write the catalogue: %s\n", error.description().c_str());
      std::abort();
    }
    path = library.albumDataPath();
    size = std::filesystem::file_size(path);
  }
  ~Catalogue() { std::filesystem::remove_all(folder); }
};

Catalogue& catalogue() {
  static Catalogue generated;
  return generated;
}

struct ChildRun {
  bool ok = false;
  double seconds = 0;
  long maxRssKiB = 0;
  std::string output;
};

// Runs a program with standard error discarded, collecting its standard output, its wall time
// and its peak resident size.
ChildRun runChild(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ChildRun run;
  Clock::time_point start = Clock::now();
  pid_t pid = 0;
  int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return {};
  }
  char piece[4096];
  for (;;) {
    ssize_t n = ::read(pipeFds[0], piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.output.append(piece, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.maxRssKiB = usage.ru_maxrss;
  return run;
}

void BM_XmllintStream(benchmark::State& state) {
  Catalogue& file = catalogue();
  long maxRss = 0;
  for (auto _ : state) {
    ChildRun run = runChild({"xmllint", "--stream", "--noout", "--nonet", file.path});
    if (!run.ok) {
      state.SkipWithError("xmllint failed or is missing (Debian package libxml2-utils)");
      break;
    }
    state.SetIterationTime(run.seconds);
    maxRss = std::max(maxRss, run.maxRssKiB);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size));
  state.counters["peak_MiB"] = static_cast<double>(maxRss) / 1024.0;
}

void BM_AlbumDataParse(benchmark::State& state) {
  Catalogue& file = catalogue();
  double freeSeconds = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    twinlens::ErrorRecord error;
    std::optional<twinlens::PListValue> root = twinlens::PListReader::parseFile(file.path, &error);
    Clock::time_point parsed = Clock::now();
    if (!root) {
      state.SkipWithError(error.description().c_str());
      break;
    }
    root.reset();
    freeSeconds += std::chrono::duration<double>(Clock::now() - parsed).count();
    state.SetIterationTime(std::chrono::duration<double>(parsed - start).count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size));
  state.counters["free_ms"] =
      benchmark::Counter(freeSeconds * 1000, benchmark::Counter::kAvgIterations);
}

long highWaterMarkKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::atol(line.c_str() + 6);
  return -1;
}

// In a fresh process, as a scan's first parse runs, and so that nothing the benchmark itself holds
// counts: the high-water mark in KiB before and after one parse, and the parse's seconds.
int peakMemoryChild(const char* path) {
  long before = highWaterMarkKiB();
  Clock::time_point start = Clock::now();
  std::optional<twinlens::PListValue> root = twinlens::PListReader::parseFile(path);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  long after = highWaterMarkKiB();
  if (!root) return 1;
  std::printf("%ld %ld %.6f\n", before, after, seconds);
  std::fflush(stdout);
  // The tree is left to the exit: freeing it is no part of what is measured here.
  std::_Exit(0);
}

// The parse in a fresh process: its memory comes from the system rather than from the free
// lists an earlier parse left, as on a scan's first parse.
void BM_AlbumDataParseFreshProcess(benchmark::State& state) {
  Catalogue& file = catalogue();
  long before = 0, after = 0;
  for (auto _ : state) {
    ChildRun run = runChild({"/proc/self/exe", kPeakChildFlag, file.path});
    double seconds = 0;
    if (!run.ok || std::sscanf(run.output.c_str(), "%ld %ld %lf", &before, &after, &seconds) != 3) {
      state.SkipWithError("the measuring child failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size));
  const double fileMiB = static_cast<double>(file.size) / (1 << 20);
  const double peakMiB = static_cast<double>(after - before) / 1024.0;
  state.counters["file_MiB"] = fileMiB;
  state.counters["peak_MiB"] = peakMiB;
  state.counters["peak_per_file"] = peakMiB / fileMiB;
}

// A million records as the cache file holds them (doc/cache-format.md), which is the one way to
// get records with SHA-1 texts without hashing a million files.
class CacheBytes {
 public:
  void u32(std::uint32_t value) { bigEndian(value, 4); }
  void u64(std::uint64_t value) { bigEndian(value, 8); }
  void boolean(bool value) { bytes_.push_back(value ? 1 : 0); }
  void string(const std::optional<std::string>& text) {
    boolean(text.has_value());
    if (!text) return;
    u64(text->size());
    bytes_.insert(bytes_.end(), text->begin(), text->end());
  }
  void real(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    string(std::string(text));
  }
  twinlens::Data take() { return std::move(bytes_); }

 private:
  void bigEndian(std::uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
      bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  twinlens::Data bytes_;
};

std::string sha1Text(std::uint64_t content) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  std::uint64_t state = content * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
  while (text.size() < 40) {
    state ^= state >> 29;
    state *= 0xBF58476D1CE4E5B9ull;
    for (int i = 0; i < 15 && text.size() < 40; ++i) text += digits[(state >> (4 * i)) & 15];
  }
  return text;
}

struct WeedInput {
  std::shared_ptr<twinlens::PhotoLibrary> library;
  twinlens::RollNames rolls;

  // Contents: 8% of the records copy an earlier record's original, 5% are edited, and 1% are
  // edited with a modified file equal to an earlier record's original.
  WeedInput() {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < kWeedRecords; ++i) keys.push_back(std::to_string(i + 1));
    std::sort(keys.begin(), keys.end());
    CacheBytes cache;
    cache.u32(twinlens::PhotoLibrary::kCacheVersion);
    cache.u64(keys.size());
    std::uint64_t random = 42;
    auto next = [&random] {
      return random = random * 6364136223846793005ull + 1442695040888963407ull;
    };
    for (std::size_t i = 0; i < keys.size(); ++i) {
      std::uint64_t roll = i / 40 + 1;
      std::uint64_t pick = next() >> 33;
      std::uint64_t content = pick % 100 < 8 && i > 0 ? (next() >> 33) % i : i;
      std::optional<std::string> modified;
      if (pick % 100 >= 90 && pick % 100 < 95) modified = sha1Text(kWeedRecords + i);
      if (pick % 100 == 95 && i > 0) modified = sha1Text((next() >> 33) % i);
      const std::string imagePath = "/Users/someone/Pictures/iPhoto Library/Originals/2009/Roll " +
                                    std::to_string(roll) + "/IMG_" + keys[i] + ".JPG";
      cache.string(sha1Text(content));
      cache.string(modified);
      cache.string(keys[i]);
      cache.string(imagePath);
      cache.string(std::nullopt);
      cache.string("/Users/someone/Pictures/iPhoto Library/Data/2009/Roll " + std::to_string(roll) +
                   "/IMG_" + keys[i] + ".jpg");
      cache.real(1.333333);
      cache.string("IMG_" + keys[i]);
      cache.string(std::string());
      cache.string("JPEG");
      for (std::uint64_t field : {2000000ull, 1240000000ull, 5ull, 0ull, 0ull, 0ull})
        cache.u64(field);
      cache.real(266761587.0 + static_cast<double>(i));
      cache.u64(roll);
      rolls[static_cast<std::int64_t>(roll)] = "Roll " + std::to_string(roll);
    }
    cache.boolean(true);
    library = std::make_shared<twinlens::PhotoLibrary>(
        "/Users/someone/Pictures/iPhoto Library", std::vector<std::shared_ptr<twinlens::Photo>>(),
        std::nullopt);
    twinlens::BufferedInputStream stream(std::make_shared<twinlens::DataInputStream>(cache.take()));
    twinlens::ErrorRecord error;
    if (!library->loadFromStream(stream, &error) || library->count() != kWeedRecords) {
      std::fprintf(stderr, "cannot load the records: %s\n", error.description().c_str());
      std::abort();
    }
  }
};

WeedInput& weedInput() {
  static WeedInput input;
  return input;
}

void BM_WeedDuplicates(benchmark::State& state) {
  WeedInput& input = weedInput();
  std::size_t duplicates = 0, groups = 0;
  for (auto _ : state) {
    twinlens::DuplicateResults results =
        twinlens::DuplicateResults::weedDuplicates(*input.library, input.rolls);
    duplicates = results.duplicatePhotos().size();
    groups = results.duplicateGroups().size();
    benchmark::DoNotOptimize(results);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWeedRecords));
  state.counters["duplicates"] = static_cast<double>(duplicates);
  state.counters["groups"] = static_cast<double>(groups);
}

BENCHMARK(BM_XmllintStream)->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_AlbumDataParse)->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(3);
BENCHMARK(BM_AlbumDataParseFreshProcess)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(3);
BENCHMARK(BM_WeedDuplicates)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kPeakChildFlag) == 0) return peakMemoryChild(argv[2]);
  return twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_AlbumDataParse", "BM_XmllintStream", "parse (warm) / xmllint", 1.5},
       {"BM_AlbumDataParseFreshProcess", "BM_XmllintStream", "parse (fresh process) / xmllint",
        1.5}});
}
