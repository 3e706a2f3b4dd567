#include "cli/scan_session.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <typeinfo>

#include "catalog/defaults.hpp"
#include "cli/command.hpp"
#include "io/file_helpers.hpp"
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
  void clear() { line_.clear(); }
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

// Ends the process as `signal` does by default, from the thread that read it.
[[noreturn]] void endNow(int signal) {
  TL_LOG_DEBUG(&typeid(InterruptWatcher), "signal %d: ending now", signal);
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

}  // namespace

InterruptWatcher::InterruptWatcher(RunLoop& loop, std::function<void()> onInterrupt) {
  sigset_t signals = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &signals, &previousMask_);
  signals_ = ::signalfd(-1, &signals, SFD_CLOEXEC);
  stop_ = ::eventfd(0, EFD_CLOEXEC);
  interrupted_ = ::eventfd(0, EFD_CLOEXEC);
  if (signals_ < 0 || stop_ < 0 || interrupted_ < 0)
    throw std::system_error(errno, std::generic_category(), "InterruptWatcher");
  thread_ = std::thread(
      [this, &loop, onInterrupt = std::move(onInterrupt)] { watch(loop, onInterrupt); });
}

InterruptWatcher::~InterruptWatcher() {
  ::eventfd_write(stop_, 1);
  thread_.join();
  for (int fd : {signals_, stop_, interrupted_}) ::close(fd);
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::watch(RunLoop& loop, const std::function<void()>& onInterrupt) {
  for (int interrupts = 0;;) {
    pollfd waits[2] = {{stop_, POLLIN, 0}, {signals_, POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[0].revents != 0) return;
    signalfd_siginfo received;
    if (::read(signals_, &received, sizeof received) != sizeof received) continue;
    const int signal = static_cast<int>(received.ssi_signo);
    if (signal == SIGTERM || ++interrupts > 1) endNow(signal);
    TL_LOG_DEBUG(this, "interrupted; cancelling between items");
    ::eventfd_write(interrupted_, 1);
    if (onInterrupt) loop.post(onInterrupt);
  }
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
  if (!library) {
    printError(
        "no library given, and iPhoto's RootDirectory preference is not set (use --library DIR)");
    return std::nullopt;
  }
  return absoluteNormalPath(*library);
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
  return error && Cataloger::isAbort(*error);
}

namespace {

ScanOutcome scanWith(RunLoop& loop, const std::shared_ptr<Cataloger>& cataloger,
                     bool drawProgress) {
  ScanEnd end(loop);
  ScanProgress progress(*cataloger);
  cataloger->setDelegate(&end);
  if (drawProgress) cataloger->setView(&progress);
  cataloger->setChangeCallback(
      [&progress, drawProgress, c = cataloger.get()](std::string_view property) {
        if (property == "waitingForAnotherScan") {
          if (!c->waitingForAnotherScan()) return;
          progress.clear();
          std::fputs("Waiting for another scan of this library to finish...\n", stderr);
        }
        if (drawProgress) progress.draw();
      });
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

}  // namespace

ScanOutcome scanLibrary(RunLoop& loop, std::shared_ptr<Defaults> defaults,
                        const std::string& library, bool drawProgress) {
  auto cataloger = std::make_shared<Cataloger>(loop, std::move(defaults));
  cataloger->setIPhotoLibraryPath(library);
  return scanWith(loop, cataloger, drawProgress);
}

ScanOutcome scanFolder(RunLoop& loop, std::shared_ptr<Defaults> defaults, const std::string& folder,
                       const KeepRule& keepRule, bool drawProgress) {
  auto cataloger = std::make_shared<Cataloger>(loop, std::move(defaults));
  cataloger->setFolderPath(folder, keepRule);
  return scanWith(loop, cataloger, drawProgress);
}

}  // namespace twinlens::cli
