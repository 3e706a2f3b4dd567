#include "platform/socket_script_host.hpp"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <typeinfo>

#include "platform/application_launcher.hpp"
#include "platform/script_wire.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

constexpr std::chrono::seconds kDefaultAnswerTime(120);
constexpr std::chrono::milliseconds kLaunchPollInterval(20);

std::chrono::seconds answerTime() {
  const char* text = std::getenv("TWINLENS_SCRIPT_TIMEOUT");
  if (!text || !*text) return kDefaultAnswerTime;
  char* end = nullptr;
  const long seconds = std::strtol(text, &end, 10);
  if (*end != '\0' || seconds <= 0) return kDefaultAnswerTime;
  return std::chrono::seconds(seconds);
}

// What trying an application's socket gave.
enum class Reach { Connected, NotRunning, Refused };

Reach connectTo(const std::string& path, int* connection, ErrorRecord* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return Reach::NotRunning;
  if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
    TL_SET_UNIX_ERROR(error, &typeid(SocketScriptHost), EACCES, "%s: not a socket of this user",
                      path.c_str());
    return Reach::Refused;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    const int err = errno;
    TL_SET_UNIX_ERROR(error, &typeid(SocketScriptHost), err, "socket: %s", std::strerror(err));
    return Reach::Refused;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == ECONNREFUSED || err == ENOENT) return Reach::NotRunning;
    TL_SET_UNIX_ERROR(error, &typeid(SocketScriptHost), err, "%s: %s", path.c_str(),
                      std::strerror(err));
    return Reach::Refused;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
    ::close(fd);
    TL_SET_UNIX_ERROR(error, &typeid(SocketScriptHost), EACCES,
                      "%s: answered by a process of another user", path.c_str());
    return Reach::Refused;
  }
  *connection = fd;
  return Reach::Connected;
}

bool processGone(pid_t pid) {
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool isSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Whether `text` at `at` holds `word` in any letter case, not run into the letters around it.
bool wordAt(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  const std::size_t after = at + word.size();
  const bool endsWord =
      after == text.size() || !std::isalnum(static_cast<unsigned char>(text[after]));
  const bool startsWord = at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]));
  return endsWord && startsWord;
}

std::size_t skipSpaces(std::string_view text, std::size_t at) {
  while (at < text.size() && isSpace(text[at])) ++at;
  return at;
}

// The quoted name of a `tell application "<Name>"` beginning at `at`.
std::optional<std::string> tellTargetAt(std::string_view text, std::size_t at) {
  if (!wordAt(text, at, "tell")) return std::nullopt;
  std::size_t next = skipSpaces(text, at + 4);
  if (next == at + 4) return std::nullopt;
  if (wordAt(text, next, "application")) {
    next += 11;
  } else if (wordAt(text, next, "app")) {
    next += 3;
  } else {
    return std::nullopt;
  }
  next = skipSpaces(text, next);
  if (next >= text.size() || text[next] != '"') return std::nullopt;
  const std::size_t close = text.find_first_of("\"\n\r", next + 1);
  if (close == std::string_view::npos || text[close] != '"' || close == next + 1)
    return std::nullopt;
  return std::string(text.substr(next + 1, close - next - 1));
}

// Launches the application and waits for its socket to answer: Connected with *connection,
// Refused, or NotRunning with *error telling why (ENOENT: there is no bundle of it).
Reach launchAndConnect(const std::string& name, const std::string& path,
                       std::chrono::milliseconds launchTime, int* connection, ErrorRecord* error) {
  const std::optional<std::string> executable = SocketScriptHost::applicationExecutable(name);
  if (!executable) {
    *error = ErrorRecord(kUnixErrorDomain, ENOENT,
                         formatText("Can't find the application \"%s\".", name.c_str()));
    return Reach::NotRunning;
  }
  TL_LOG_DEBUG(&typeid(SocketScriptHost), "launching %s", executable->c_str());
  ErrorRecord launchError;
  const pid_t pid = ApplicationLauncher::launch(*executable, &launchError);
  if (pid < 0) {
    *error = ErrorRecord(kUnixErrorDomain, launchError.code(),
                         formatText("The application \"%s\" could not be launched: %s",
                                    name.c_str(), launchError.description().c_str()));
    return Reach::NotRunning;
  }
  const auto deadline = std::chrono::steady_clock::now() + launchTime;
  Reach reach = Reach::NotRunning;
  while (reach == Reach::NotRunning && !processGone(pid) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kLaunchPollInterval);
    reach = connectTo(path, connection, error);
  }
  if (reach == Reach::NotRunning)
    *error = ErrorRecord(
        kUnixErrorDomain, ETIMEDOUT,
        formatText("The application \"%s\" was launched but does not answer.", name.c_str()));
  return reach;
}

ScriptOutcome failureOf(const std::string& name, const ErrorRecord& error) {
  TL_LOG_DEBUG(&typeid(SocketScriptHost), "script for %s failed: %s", name.c_str(),
               error.description().c_str());
  const std::int64_t number = error.domain() == kScriptWireErrorDomain
                                  ? error.code()
                                  : std::int64_t(kScriptConnectionInvalidError);
  switch (number) {
    case kScriptTimedOutError:
      return ScriptOutcome::failure(number, name + " got an error: AppleEvent timed out.");
    case kScriptCorruptAnswerError:
      return ScriptOutcome::failure(
          number, name + " sent an answer that could not be read: " + error.description());
    default:
      return ScriptOutcome::failure(number, name + " got an error: Connection is invalid.");
  }
}

}  // namespace

SocketScriptHost::SocketScriptHost(std::chrono::milliseconds launchTime)
    : launchTime_(launchTime) {}

ScriptOutcome SocketScriptHost::executeSource(std::string_view source) {
  std::optional<std::string> name = applicationNameInSource(source);
  if (!name)
    return ScriptOutcome::failure(kScriptSyntaxError,
                                  "Expected \"tell application\" and the name of an application.");
  ScriptOutcome failure;
  const int connection = connectionTo(*name, &failure);
  if (connection < 0) return failure;

  ErrorRecord error;
  const ScriptDeadline deadline = std::chrono::steady_clock::now() + answerTime();
  std::optional<Data> frame;
  std::optional<ScriptOutcome> outcome;
  if (writeScriptFrame(connection, encodeRequest(source), deadline, &error) &&
      (frame = readScriptFrame(connection, deadline, &error)))
    outcome = decodeReply(frame->data(), frame->size(), &error);
  ::close(connection);
  if (outcome) return std::move(*outcome);
  if (error.domain().empty())
    error = ErrorRecord(kScriptWireErrorDomain, kScriptConnectionInvalidError,
                        "the connection closed before the answer");
  return failureOf(*name, error);
}

int SocketScriptHost::connectionTo(const std::string& name, ScriptOutcome* failure) const {
  ErrorRecord error;
  std::optional<std::string> path = scriptSocketPath(name, &error);
  if (!path) {
    *failure = ScriptOutcome::failure(error.code() == EINVAL ? kScriptApplicationNotFoundError
                                                             : kScriptApplicationNotRunningError,
                                      formatText("Can't reach the application \"%s\": %s",
                                                 name.c_str(), error.description().c_str()));
    return -1;
  }
  int connection = -1;
  Reach reach = connectTo(*path, &connection, &error);
  if (reach == Reach::NotRunning) {
    reach = launchAndConnect(name, *path, launchTime_, &connection, &error);
    if (reach == Reach::NotRunning) {
      *failure = ScriptOutcome::failure(error.code() == ENOENT ? kScriptApplicationNotFoundError
                                                               : kScriptApplicationNotRunningError,
                                        error.description());
      return -1;
    }
  }
  if (reach == Reach::Refused) {
    *failure = ScriptOutcome::failure(kScriptApplicationNotRunningError,
                                      formatText("Can't reach the application \"%s\": %s",
                                                 name.c_str(), error.description().c_str()));
    return -1;
  }
  return connection;
}

std::optional<std::string> SocketScriptHost::applicationNameInSource(std::string_view source) {
  for (std::size_t at = 0; at < source.size(); ++at)
    if (std::optional<std::string> name = tellTargetAt(source, at)) return name;
  return std::nullopt;
}

std::vector<std::string> SocketScriptHost::applicationSearchPath() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("TWINLENS_APPLICATIONS_PATH")) {
    std::string_view rest(path);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      if (colon != 0) folders.emplace_back(rest.substr(0, colon));
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  folders.emplace_back(TWINLENS_BUILD_APPLICATIONS_DIR);
  // Installed programs find their bundles from their own place, so any prefix works.
  std::error_code unknown;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", unknown);
  if (!unknown)
    folders.push_back(
        (executable.parent_path().parent_path() / "lib/twinlens/Applications").string());
  return folders;
}

std::optional<std::string> SocketScriptHost::applicationExecutable(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.find('/') != std::string_view::npos)
    return std::nullopt;
  const std::string bundle(name);
  for (const std::string& folder : applicationSearchPath()) {
    const std::string executable = folder + "/" + bundle + ".app/Contents/MacOS/" + bundle;
    struct stat info;
    if (::stat(executable.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(executable.c_str(), X_OK) == 0)
      return executable;
  }
  return std::nullopt;
}

}  // namespace twinlens
