// iPhoto (the stand-in): opens an iPhoto library folder and answers, over the script host's
// socket, the scripts Twinlens sends to iPhoto. With --restore-trash it puts every photo it ever
// trashed back into the library and exits.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "iphoto_application.hpp"
#include "library_folder.hpp"
#include "platform/script_server.hpp"
#include "platform/script_wire.hpp"
#include "shared/logging.hpp"

namespace {

using namespace twinlens;
using namespace twinlens::standin;

const char* const kUsage =
    "usage: iPhoto [--library DIR] [--restore-trash] [--log-level LEVEL]\n"
    "  --library DIR      the library folder (default: the \"RootDirectory\" preference of\n"
    "                     com.apple.iphoto); it becomes that preference\n"
    "  --restore-trash    put every trashed photo back into the library, save it and exit\n"
    "  --log-level LEVEL  error, warn, info (default), debug or trace\n";

struct Options {
  std::optional<std::string> library;
  bool restoreTrash = false;
  std::uint32_t logLevel = kLogLevelInfo;
};

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--library" && hasValue) {
      options.library = argv[++i];
    } else if (arg == "--restore-trash") {
      options.restoreTrash = true;
    } else if (arg == "--log-level" && hasValue && logLevelForName(argv[i + 1]) != 0) {
      options.logLevel = logLevelForName(argv[++i]);
    } else {
      return std::nullopt;
    }
  }
  return options;
}

ScriptServer* runningServer = nullptr;

void stopServing(int) {
  if (runningServer) runningServer->stop();
}

void onTerminationSignals(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT}) ::sigaction(signal, &action, nullptr);
}

// Whether another stand-in answers scripts now: it would write its own trash back over the
// restored library when it quits.
bool anotherInstanceAnswers() {
  std::optional<std::string> path = scriptSocketPath("iPhoto");
  if (!path) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path->c_str(), sizeof address.sun_path - 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  bool answers =
      fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return answers;
}

int restoreTrash(const std::string& folder) {
  if (anotherInstanceAnswers()) {
    logError("iPhoto is running; quit it before restoring the trash");
    return 1;
  }
  ErrorRecord error;
  std::optional<std::size_t> restored = LibraryFolder::restoreTrash(folder, &error);
  if (!restored) {
    logError("could not restore the trash of %s: %s", folder.c_str(), error.description().c_str());
    return 1;
  }
  std::printf("put %zu photo%s back into %s\n", *restored, *restored == 1 ? "" : "s",
              folder.c_str());
  return 0;
}

int serve(const std::string& folder) {
  // Checked before the library's lock, which the running instance holds for as long as it runs.
  if (anotherInstanceAnswers()) {
    logError("another iPhoto answers scripts already");
    return 1;
  }
  ErrorRecord error;
  std::unique_ptr<IPhotoApplication> app = IPhotoApplication::open(folder, &error);
  if (!app) {
    logError("could not open the library %s: %s", folder.c_str(), error.description().c_str());
    return 1;
  }
  ScriptServer server("iPhoto");
  runningServer = &server;
  onTerminationSignals(stopServing);
  if (!server.listen(&error)) {
    logError("could not answer scripts: %s", error.description().c_str());
    return 1;
  }
  logInfo("library %s open with %zu photos; answering scripts on %s", folder.c_str(),
          app->photoCount(), server.socketPath().c_str());
  server.serve([&](std::string_view source) {
    ScriptOutcome outcome = app->handle(source);
    if (app->quitting()) server.stop();
    return outcome;
  });
  onTerminationSignals(SIG_DFL);
  runningServer = nullptr;
  if (!app->save(&error)) {
    logError("could not save the library: %s", error.description().c_str());
    return 1;
  }
  logInfo("saved the library and quit");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  setLogLevel(options->logLevel);
  std::signal(SIGPIPE, SIG_IGN);
  ErrorRecord error;
  std::optional<std::string> folder = LibraryFolder::choose(options->library, &error);
  if (!folder) {
    logError("%s", error.description().c_str());
    return 1;
  }
  if (!LibraryFolder::remember(*folder, &error))
    logWarn("could not make %s the current library: %s", folder->c_str(),
            error.description().c_str());
  return options->restoreTrash ? restoreTrash(*folder) : serve(*folder);
}
