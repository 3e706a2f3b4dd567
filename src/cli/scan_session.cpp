#include "cli/scan_session.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "catalog/defaults.hpp"
#include "cli/command.hpp"
#include "shared/logging.hpp"

namespace twinlens::cli {

namespace {

sigset_t interruptSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// Draws the scan's progress while the sheet would be up.
class ScanProgress final : public CatalogingView {
 public:
  explicit ScanProgress(const Cataloger& cataloger) : cataloger_(cataloger) {}
  void showCatalogingSheet() override {}
  void endCatalogingSheet() override { line_.clear(); }
  void hideCatalogingSheet() override { line_.clear(); }
  void draw() {
    line_.draw(cataloger_.catalogingDescription(), cataloger_.catalogingProgress(),
               cataloger_.catalogingProgressDescription());
  }

 private:
  const Cataloger& cataloger_;
  ProgressLine line_;
};

struct ScanEnd final : CatalogerDelegate {
  explicit ScanEnd(RunLoop& loop) : loop(loop) {}
  void catalogingDidSucceed(std::uint64_t) override { loop.stop(); }
  void catalogingDidFail(const ErrorRecord& record) override {
    error = record;
    loop.stop();
  }
  RunLoop& loop;
  std::optional<ErrorRecord> error;
};

}  // namespace

InterruptWatcher::InterruptWatcher(RunLoop& loop, std::function<void()> onInterrupt) {
  sigset_t signals = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  thread_ = std::thread([this, &loop, onInterrupt = std::move(onInterrupt), signals] {
    timespec tick{0, 100'000'000};
    while (!stop_) {
      if (sigtimedwait(&signals, nullptr, &tick) <= 0) continue;
      TL_LOG_DEBUG(this, "interrupted; cancelling between items");
      loop.post(onInterrupt);
    }
  });
}

InterruptWatcher::~InterruptWatcher() {
  stop_ = true;
  thread_.join();
}

void ProgressLine::draw(const std::string& description, double fraction,
                        const std::string& detail) {
  constexpr int kWidth = 30;
  auto filled = static_cast<int>(fraction * kWidth);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r\033[K%s [%s] %s", description.c_str(), bar.c_str(), detail.c_str());
  drawn_ = true;
}

void ProgressLine::clear() {
  if (drawn_) std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

bool progressWanted(bool requested) {
  return requested && ::isatty(STDERR_FILENO);
}

std::optional<std::string> libraryFolder(const std::optional<std::string>& given,
                                         const Defaults& defaults) {
  std::optional<std::string> library = given ? given : defaults.iPhotoRootDirectory();
  if (!library)
    printError(
        "no library given, and iPhoto's RootDirectory preference is not set (use --library DIR)");
  return library;
}

// iPhoto acts on the library it has open, which is the one its RootDirectory names; keys of
// another library would name other photos there.
bool libraryIsIPhotos(const std::string& library, const Defaults& defaults) {
  ErrorRecord error;
  if (defaults.isIPhotoLibrary(library, &error)) return true;
  printError(error.description());
  return false;
}

bool ScanOutcome::cancelled() const {
  return error && error->isErrorWithDomain(Cataloger::errorDomain(), -7);
}

ScanOutcome scanLibrary(RunLoop& loop, std::shared_ptr<Defaults> defaults,
                        const std::string& library, bool drawProgress) {
  auto cataloger = std::make_shared<Cataloger>(loop, std::move(defaults));
  ScanEnd end(loop);
  ScanProgress progress(*cataloger);
  cataloger->setDelegate(&end);
  cataloger->setIPhotoLibraryPath(library);
  if (drawProgress) {
    cataloger->setView(&progress);
    cataloger->setChangeCallback([&progress](std::string_view) { progress.draw(); });
  }
  {
    InterruptWatcher watcher(loop, [cataloger] { cataloger->cancelCataloging(); });
    cataloger->start();
    loop.run();
  }
  cataloger->setView(nullptr);
  cataloger->setChangeCallback(nullptr);
  cataloger->setDelegate(nullptr);
  return ScanOutcome{cataloger, end.error};
}

}  // namespace twinlens::cli
