// A whole-library move of 10,000 one-photo commands through the script runner, the socket script
// host and the stand-in iPhoto, against sending the same 10,002 texts to the stand-in's socket
// bare: over one connection, and over a connection of its own for each text (as the host makes
// them). Each run starts a fresh stand-in on a fresh catalogue of 10,000 photos. The runner's run
// also reports this process's peak resident memory and how much its resident memory grew from
// the 1,000th command to the last; the runner alone, with commands answered in this process,
// shows the runner's own share.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "iphoto/iphoto_scripts.hpp"
#include "iphoto/script_runner.hpp"
#include "platform/process.hpp"
#include "platform/run_loop.hpp"
#include "platform/script_wire.hpp"
#include "platform/user_defaults.hpp"
#include "ratio_reporter.hpp"
#include "sample/sample_library.hpp"

namespace {

using namespace twinlens;
using twinlens::sample::SampleLibrary;
using twinlens::sample::SampleLibraryOptions;

constexpr std::size_t kPhotos = 10000;

std::string benchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/twinlens-runner-bench-XXXXXX";
  if (!::mkdtemp(folder.data())) std::abort();
  return folder;
}

// Private preferences, data and socket folders, so that the stand-in started here is ours alone.
struct Fixture {
  std::string folder = benchFolder();
  std::unique_ptr<SampleLibrary> library;

  Fixture() {
    for (const char* name : {"config", "data", "runtime"})
      std::filesystem::create_directories(folder + "/" + name);
    std::filesystem::permissions(folder + "/runtime", std::filesystem::perms::owner_all);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    SampleLibraryOptions options;
    options.photoCount = kPhotos;
    options.writeImages = false;
    options.missingCount = 0;
    options.unlistedCount = 0;
    options.photosPerRoll = 500;
    library = std::make_unique<SampleLibrary>(folder + "/Library", options);
    UserDefaults preferences(kIPhotoDefaultsDomain);
    preferences.setString(library->libraryPath(), kIPhotoRootDirectoryKey);
    if (!preferences.synchronize()) std::abort();
  }
  ~Fixture() {
    quitStandIn();
    std::filesystem::remove_all(folder);
  }

  // A fresh catalogue, and a stand-in started on it (the host starts it for the first script).
  void freshStandIn() {
    quitStandIn();
    if (!library->writeAlbumData()) std::abort();
    if (!SelectLibraryAlbumScript().execute()) std::abort();
  }
  // Quits our stand-in, if it runs, and waits until its socket is gone.
  static void quitStandIn() {
    std::optional<std::string> socket = scriptSocketPath("iPhoto");
    if (!socket) std::abort();
    if (!std::filesystem::exists(*socket)) return;
    if (!QuitIPhotoScript().execute()) std::abort();
    for (int i = 0; i < 3000 && std::filesystem::exists(*socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> all{SelectLibraryAlbumScript::source()};
    for (const auto& photo : library->photos())
      all.push_back(MoveToTrashScript(std::vector<std::string>{photo.key}).source().value());
    all.push_back(SelectLibraryAlbumScript::source());
    return all;
  }
};

// Made on first use and taken down by main(), while the script host still exists to quit the
// stand-in with.
std::unique_ptr<Fixture> made;
Fixture& fixture() {
  if (!made) made = std::make_unique<Fixture>();
  return *made;
}

// Resident memory of this process, and its peak since the last resetPeakMemory(), in KiB.
std::int64_t statusField(const char* name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(name, 0) == 0) return std::atoll(line.c_str() + std::strlen(name));
  return -1;
}
void resetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

int connectToStandIn() {
  std::optional<std::string> path = scriptSocketPath("iPhoto");
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (!path || fd < 0 || path->size() >= sizeof address.sun_path) std::abort();
  std::memcpy(address.sun_path, path->c_str(), path->size() + 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) std::abort();
  return fd;
}

void roundTrip(int fd, const std::string& text) {
  const ScriptDeadline never = scriptDeadlineNever();
  std::optional<Data> reply;
  if (!writeScriptFrame(fd, encodeRequest(text), never) || !(reply = readScriptFrame(fd, never)))
    std::abort();
  std::optional<ScriptOutcome> outcome = decodeReply(reply->data(), reply->size());
  if (!outcome || !outcome->succeeded()) std::abort();
}

struct RunEnd final : ScriptRunnerDelegate {
  bool finished = false;
  void scriptRunnerDidFinish(ScriptRunner&) override { finished = true; }
};

void BM_RunnerWholeLibraryMove(benchmark::State& state) {
  Fixture& f = fixture();
  std::int64_t peak = 0, growth = 0;
  for (auto _ : state) {
    state.PauseTiming();
    f.freshStandIn();
    RunLoop loop;
    auto runner = std::make_shared<ScriptRunner>(loop);
    RunEnd end;
    runner->setDelegate(&end);
    ScriptRunner::Scripts scripts{std::make_shared<SelectLibraryAlbumScript>()};
    for (const auto& photo : f.library->photos())
      scripts.push_back(std::make_shared<MoveToTrashScript>(std::vector<std::string>{photo.key}));
    scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
    runner->setScripts(scripts);
    std::int64_t atThousand = 0;
    runner->setChangeCallback([&](std::string_view property) {
      if (property == "progress" && runner->scriptIndex() == 1000)
        atThousand = statusField("VmRSS:");
    });
    resetPeakMemory();
    state.ResumeTiming();
    runner->start();
    if (!loop.runUntil([&] { return end.finished; })) std::abort();
    state.PauseTiming();
    if (!runner->failedScripts().empty()) std::abort();
    peak = std::max(peak, statusField("VmHWM:"));
    growth = std::max(growth, statusField("VmRSS:") - atThousand);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * (kPhotos + 2)));
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024;
  state.counters["rss_growth_KiB"] = static_cast<double>(growth);
}

// The runner's own share: the same commands answered at once by a host in this process.
void BM_RunnerWithoutIPhoto(benchmark::State& state) {
  struct InstantHost final : ScriptHost {
    ScriptOutcome executeSource(std::string_view) override {
      return ScriptOutcome::success(AppleEventDescriptor::null());
    }
  };
  Fixture& f = fixture();
  ScriptRunner::Scripts scripts{std::make_shared<SelectLibraryAlbumScript>()};
  for (const auto& photo : f.library->photos())
    scripts.push_back(std::make_shared<MoveToTrashScript>(std::vector<std::string>{photo.key}));
  scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
  std::shared_ptr<ScriptHost> previous = ScriptHost::setStandard(std::make_shared<InstantHost>());
  for (auto _ : state) {
    RunLoop loop;
    auto runner = std::make_shared<ScriptRunner>(loop);
    RunEnd end;
    runner->setDelegate(&end);
    runner->setScripts(scripts);
    runner->start();
    if (!loop.runUntil([&] { return end.finished; })) std::abort();
  }
  ScriptHost::setStandard(previous);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * scripts.size()));
}

void BM_BareRoundTripsOneConnection(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<std::string> texts = f.texts();
  for (auto _ : state) {
    state.PauseTiming();
    f.freshStandIn();
    state.ResumeTiming();
    int fd = connectToStandIn();
    for (const std::string& text : texts) roundTrip(fd, text);
    ::close(fd);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
}

void BM_BareRoundTripsConnectionEach(benchmark::State& state) {
  Fixture& f = fixture();
  const std::vector<std::string> texts = f.texts();
  for (auto _ : state) {
    state.PauseTiming();
    f.freshStandIn();
    state.ResumeTiming();
    for (const std::string& text : texts) {
      int fd = connectToStandIn();
      roundTrip(fd, text);
      ::close(fd);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
}

BENCHMARK(BM_BareRoundTripsOneConnection)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_BareRoundTripsConnectionEach)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_RunnerWithoutIPhoto)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);
BENCHMARK(BM_RunnerWholeLibraryMove)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  int status = twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_RunnerWholeLibraryMove", "BM_BareRoundTripsOneConnection",
        "runner move / bare round trips on one connection"},
       {"BM_RunnerWholeLibraryMove", "BM_BareRoundTripsConnectionEach",
        "runner move / bare round trips, a connection each"}});
  made.reset();
  return status;
}
