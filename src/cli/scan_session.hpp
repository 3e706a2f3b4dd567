#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "catalog/cataloger.hpp"
#include "platform/run_loop.hpp"

namespace twinlens::cli {

// Turns Ctrl-C (and SIGTERM) into `onInterrupt`, run on the loop's thread. The signals are
// blocked in every thread and taken by a thread of this object with sigtimedwait, so nothing runs
// in a signal handler. Create it before any other thread starts.
class InterruptWatcher {
 public:
  InterruptWatcher(RunLoop& loop, std::function<void()> onInterrupt);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// One line on standard error that is redrawn in place: "<description> [####      ] <detail>".
class ProgressLine {
 public:
  void draw(const std::string& description, double fraction, const std::string& detail);
  void clear();

 private:
  bool drawn_ = false;
};

// Whether a progress line is wanted: asked for, and standard error is a terminal.
bool progressWanted(bool requested);

// The library to work on, absolute and normalised: the one given, else iPhoto's RootDirectory
// preference; nullopt, with the reason printed, when there is neither.
std::optional<std::string> libraryFolder(const std::optional<std::string>& given,
                                         const Defaults& defaults);

// Whether `library` is the one iPhoto has open (its RootDirectory), which every script acts on;
// when not, the reason is printed.
bool libraryIsIPhotos(const std::string& library, const Defaults& defaults);

struct ScanOutcome {
  std::shared_ptr<Cataloger> cataloger;
  std::optional<ErrorRecord> error;  // set when the scan failed or was cancelled
  bool cancelled() const;
};

// Scans `library` as the application does, on `loop`'s thread, drawing its progress when
// `drawProgress`; Ctrl-C cancels between photos. While another process scans the same library
// it waits, saying so on standard error.
ScanOutcome scanLibrary(RunLoop& loop, std::shared_ptr<Defaults> defaults,
                        const std::string& library, bool drawProgress);

}  // namespace twinlens::cli
