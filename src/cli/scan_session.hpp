#pragma once

#include <signal.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "catalog/cataloger.hpp"
#include "platform/run_loop.hpp"

namespace twinlens::cli {

// Turns Ctrl-C into `onInterrupt` (when given), run on the loop's thread; a second Ctrl-C, or
// SIGTERM, ends the process at once by the signal's default action, so a scan stuck in a file
// cannot keep it alive (the caches on disk stay as last saved, each save being atomic). While
// it lives, SIGINT and SIGTERM are blocked and read by a thread of this object, so nothing runs
// in a signal handler; its destructor wakes that thread at once and unblocks them again. Create
// it before any other thread starts.
class InterruptWatcher {
 public:
  InterruptWatcher(RunLoop& loop, std::function<void()> onInterrupt);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  // Readable once Ctrl-C came, for a wait that is not on the loop (poll).
  int interruptedDescriptor() const { return interrupted_; }

 private:
  void watch(RunLoop& loop, const std::function<void()>& onInterrupt);

  sigset_t previousMask_;
  int signals_ = -1;      // signalfd of SIGINT and SIGTERM
  int stop_ = -1;         // eventfd: the destructor's word to the thread
  int interrupted_ = -1;  // eventfd
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
// The same for a folder of photo files, its kept photos chosen by `keepRule`.
ScanOutcome scanFolder(RunLoop& loop, std::shared_ptr<Defaults> defaults, const std::string& folder,
                       const KeepRule& keepRule, bool drawProgress);

}  // namespace twinlens::cli
