#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "catalog/defaults.hpp"
#include "cli/command.hpp"
#include "cli/scan_session.hpp"
#include "io/file_helpers.hpp"
#include "iphoto/desktop_trash_mover.hpp"
#include "iphoto/script_runner.hpp"
#include "iphoto/trash_run.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens::cli {

namespace {

constexpr const char* kTrashUsage =
    "usage: twinlens-cli trash [--library DIR] [--yes] [--no-progress] [--log-level N]\n"
    "       twinlens-cli trash --folder DIR [--keep RULE] [--yes] [--no-progress]\n"
    "                          [--log-level N]\n"
    "\n"
    "Scans an iPhoto library as 'scan' does and has iPhoto move every duplicate to its Trash,\n"
    "one photo per command, the kept photo of each set staying in the library. iPhoto is\n"
    "started when it is not running; it must have the same library open (its RootDirectory\n"
    "preference), and the move is refused otherwise. Emptying iPhoto's Trash is left to you.\n"
    "With --folder, scans the folder as 'scan --folder' does and moves every duplicate file to\n"
    "the desktop trash, each only once it and the kept file of its set are still what was\n"
    "hashed; a file that fails that check stays and is reported.\n"
    "\n"
    "  --library DIR  the library folder; without it, iPhoto's RootDirectory preference\n"
    "  --folder DIR   the folder of photo files to clean up\n"
    "  --keep RULE    which file of a set is kept, as for 'scan --folder' (default oldest)\n"
    "  --yes          move without asking first\n"
    "  --no-progress  no progress bar on standard error\n"
    "  --log-level N  log level 0-5 or a name (error, warn, info, debug, trace)\n"
    "\n"
    "Ctrl-C cancels the scan between photos, the question at once, and the move between two\n"
    "photos; a second Ctrl-C, or SIGTERM, ends the command at once.\n"
    "Exit status: 0 when every duplicate was moved (or there was none), 1 when some could not\n"
    "be moved, the scan failed or the move was declined, 2 for bad usage, 130 when cancelled.\n";

// Counts are written as in an English locale, whatever the terminal's.
constexpr std::string_view kGroupingSeparator = ",";

struct Options {
  std::optional<std::string> library;
  std::optional<std::string> folder;
  std::optional<KeepRule> keepRule;
  bool yes = false;
  bool progress = true;
};

bool parseOptions(std::span<const std::string_view> args, Options* options, int* status) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::uint32_t level;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kTrashUsage, stdout);
      *status = 0;
      return false;
    } else if (arg == "--yes" || arg == "-y") {
      options->yes = true;
    } else if (arg == "--no-progress") {
      options->progress = false;
    } else if (arg == "--library" && i + 1 < args.size()) {
      options->library = std::string(args[++i]);
    } else if (arg == "--folder" && i + 1 < args.size()) {
      options->folder = std::string(args[++i]);
    } else if (arg == "--keep" && i + 1 < args.size() && KeepRule::fromText(args[i + 1])) {
      options->keepRule = KeepRule::fromText(args[++i]);
    } else if (arg == "--log-level" && i + 1 < args.size() && parseLogLevel(args[i + 1], &level)) {
      setLogLevel(level);
      ++i;
    } else {
      printError("unexpected argument '" + std::string(arg) + "'");
      std::fputs(kTrashUsage, stderr);
      *status = 2;
      return false;
    }
  }
  const char* clash = options->folder && options->library
                          ? "--folder and --library exclude each other"
                      : !options->folder && options->keepRule ? "--keep needs --folder"
                                                              : nullptr;
  if (!clash) return true;
  printError(clash);
  std::fputs(kTrashUsage, stderr);
  *status = 2;
  return false;
}

// A line of standard input, or nullopt when Ctrl-C came first; read a byte at a time so that
// Ctrl-C is seen while the line is awaited.
std::optional<std::string> answerLine(const InterruptWatcher& watcher) {
  std::string line;
  for (;;) {
    pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {watcher.interruptedDescriptor(), POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return line;
    }
    if (waits[1].revents != 0) return std::nullopt;
    char c;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return line;
    line += c;
  }
}

// Whether the user said yes; nullopt for Ctrl-C.
std::optional<bool> confirmed(RunLoop& loop, std::size_t count, const std::string& library,
                              const char* trash) {
  // Watching before the question is shown, so a Ctrl-C the moment it appears still cancels.
  InterruptWatcher watcher(loop, nullptr);
  std::fprintf(stderr, "Move %s duplicate%s of %s to %s? [y/N] ",
               groupedDigits(count, kGroupingSeparator).c_str(), pluralSuffix(count),
               library.c_str(), trash);
  std::fflush(stderr);
  std::optional<std::string> answer = answerLine(watcher);
  if (!answer || answer->empty()) std::fputc('\n', stderr);
  if (!answer) return std::nullopt;
  return !answer->empty() && ((*answer)[0] == 'y' || (*answer)[0] == 'Y');
}

// Draws the runner's sheet as a progress line and ends the loop when the run is over.
class MoveProgress final : public ScriptRunnerView, public ScriptRunnerDelegate {
 public:
  MoveProgress(RunLoop& loop, const ScriptRunner& runner, bool draw)
      : loop_(loop), runner_(runner), draw_(draw) {}
  void showScriptRunnerSheet() override {
    if (!runner_.hideWarning()) std::fprintf(stderr, "%s\n", runner_.warning().c_str());
    total_ = runner_.scripts().size();
    redraw();
  }
  void endScriptRunnerSheet() override { line_.clear(); }
  void scriptRunnerDidFinish(ScriptRunner&) override { loop_.stop(); }
  void redraw() {
    if (!draw_) return;
    line_.draw(runner_.message(), runner_.progress(),
               formatText("%zu of %zu", runner_.scriptIndex(), total_));
  }

 private:
  RunLoop& loop_;
  const ScriptRunner& runner_;
  bool draw_;
  std::size_t total_ = 0;
  ProgressLine line_;
};

// Tells how the run ended, as the application's closing sheets do, and gives the exit status.
int report(const ScriptRunner& runner, const TrashMover& mover, std::size_t offered) {
  for (const auto& script : runner.failedScripts())
    if (const ErrorRecord* error = runner.errorForScript(script.get()))
      printError(error->description());
  const TrashRunSummary summary = TrashRunSummary::ofRun(runner, mover, offered);
  if (summary.anyFailed())
    std::printf("%s\n%s\n", TrashRunSummary::failureTitle().c_str(), summary.failureText().c_str());
  if (summary.cancelled) {
    std::printf("%s\n", summary.cancelledLine(kGroupingSeparator).c_str());
    return 130;
  }
  if (summary.anyFailed()) return 1;
  std::printf("%s\n", summary.movedText(kGroupingSeparator).c_str());
  return 0;
}

int moveToTrash(RunLoop& loop, const Cataloger& cataloger, const TrashMover& mover,
                bool drawProgress) {
  const std::vector<std::shared_ptr<Photo>>& duplicates = cataloger.duplicatePhotos();
  auto runner = std::make_shared<ScriptRunner>(loop);
  MoveProgress progress(loop, *runner, drawProgress);
  runner->setDelegate(&progress);
  runner->setView(&progress);
  runner->setChangeCallback([&progress](std::string_view property) {
    if (property == "progress") progress.redraw();
  });
  {
    InterruptWatcher watcher(loop, [runner] { runner->cancel(); });
    startTrashRun(*runner, mover, duplicates, cataloger.iPhotoLibraryPath(), kGroupingSeparator);
    loop.run();
  }
  return report(*runner, mover, duplicates.size());
}

}  // namespace

int runTrash(std::span<const std::string_view> args) {
  Options options;
  int status = 0;
  if (!parseOptions(args, &options, &status)) return status;

  std::shared_ptr<Defaults> defaults = Defaults::standard();
  defaults->overrideUseAlbumDataXML(true);
  std::optional<std::string> library = options.folder ? absoluteNormalPath(*options.folder)
                                                      : libraryFolder(options.library, *defaults);
  if (!library) return 1;
  if (!options.folder && !libraryIsIPhotos(*library, *defaults)) return 1;

  RunLoop loop;
  bool drawProgress = progressWanted(options.progress);
  ScanOutcome scan = options.folder
                         ? scanFolder(loop, defaults, *library,
                                      options.keepRule.value_or(KeepRule()), drawProgress)
                         : scanLibrary(loop, defaults, *library, drawProgress);
  if (scan.error) {
    printError(scan.error->description());
    return scan.cancelled() ? 130 : 1;
  }
  std::size_t count = scan.cataloger->duplicatePhotos().size();
  if (count == 0) {
    std::printf("No duplicates in %s; nothing to move.\n", library->c_str());
    return 0;
  }
  std::optional<bool> yes =
      options.yes
          ? true
          : confirmed(loop, count, *library, options.folder ? "the trash" : "iPhoto's Trash");
  if (yes != true) {
    std::printf("Nothing was moved.\n");
    return yes ? 1 : 130;
  }
  if (options.folder)
    return moveToTrash(loop, *scan.cataloger, DesktopTrashMover(scan.cataloger->duplicateSets()),
                       drawProgress);
  return moveToTrash(loop, *scan.cataloger, IPhotoTrashMover(), drawProgress);
}

}  // namespace twinlens::cli
