#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "io/integer_io.hpp"
#include "platform/script_wire.hpp"

namespace twinlens {

namespace {

const void* const kLogObject = &typeid(ScriptDeadline);
// A frame's payload grows by at most this much per step, so that a length alone, which the
// sender may not honour, never reserves memory.
constexpr std::size_t kReadStep = 1 << 20;

// Waits until `socket` is ready for `events` or the deadline passes.
bool waitFor(int socket, short events, ScriptDeadline deadline, ErrorRecord* error) {
  while (true) {
    int timeout = -1;
    if (deadline != scriptDeadlineNever()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
    }
    pollfd entry{socket, events, 0};
    const int ready = ::poll(&entry, 1, timeout);
    if (ready > 0) return true;
    if (ready == 0) {
      TL_SET_ERROR(error, kLogObject, kScriptWireErrorDomain, kScriptTimedOutError,
                   "no script message arrived in time");
      return false;
    }
    if (errno != EINTR) {
      const int err = errno;
      TL_SET_UNIX_ERROR(error, kLogObject, err, "poll: %s", std::strerror(err));
      return false;
    }
  }
}

bool peerGone(int err) {
  return err == EPIPE || err == ECONNRESET || err == ENOTCONN;
}

bool connectionLost(ErrorRecord* error, const char* what) {
  TL_SET_ERROR(error, kLogObject, kScriptWireErrorDomain, kScriptConnectionInvalidError,
               "the connection closed in the middle of %s", what);
  return false;
}

// Reads exactly `length` bytes. *got counts what arrived, so that a caller can tell a connection
// closed before anything from one closed part way.
bool readExactly(int socket, std::uint8_t* into, std::size_t length, ScriptDeadline deadline,
                 std::size_t* got, ErrorRecord* error) {
  *got = 0;
  while (*got < length) {
    if (!waitFor(socket, POLLIN, deadline, error)) return false;
    const ssize_t n = ::recv(socket, into + *got, length - *got, MSG_DONTWAIT);
    if (n > 0) {
      *got += static_cast<std::size_t>(n);
    } else if (n == 0) {
      return connectionLost(error, "a script message");
    } else if (errno != EINTR && errno != EAGAIN) {
      const int err = errno;
      if (peerGone(err)) return connectionLost(error, "a script message");
      TL_SET_UNIX_ERROR(error, kLogObject, err, "recv: %s", std::strerror(err));
      return false;
    }
  }
  return true;
}

bool hasGroupOrOtherAccess(const struct stat& info) {
  return (info.st_mode & 077) != 0;
}

std::string preferredSocketFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info;
  if (runtime && runtime[0] == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
      info.st_uid == ::geteuid())
    return std::string(runtime) + "/twinlens-scripting";
  return "/tmp/twinlens-scripting-" + std::to_string(::geteuid());
}

}  // namespace

bool writeScriptFrame(int socket, const Data& payload, ScriptDeadline deadline,
                      ErrorRecord* error) {
  if (payload.size() > kScriptFrameLimit) {
    TL_SET_ERROR(error, kLogObject, kScriptWireErrorDomain, kScriptCorruptAnswerError,
                 "a script message of %zu bytes is too long to send", payload.size());
    return false;
  }
  Data frame;
  frame.reserve(payload.size() + 4);
  IntegerIO::writeUInt32(static_cast<std::uint32_t>(payload.size()), frame);
  frame.insert(frame.end(), payload.begin(), payload.end());
  std::size_t sent = 0;
  while (sent < frame.size()) {
    if (!waitFor(socket, POLLOUT, deadline, error)) return false;
    const ssize_t n =
        ::send(socket, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
    } else if (errno != EINTR && errno != EAGAIN) {
      const int err = errno;
      if (peerGone(err)) return connectionLost(error, "sending a script message");
      TL_SET_UNIX_ERROR(error, kLogObject, err, "send: %s", std::strerror(err));
      return false;
    }
  }
  return true;
}

std::optional<Data> readScriptFrame(int socket, ScriptDeadline deadline, ErrorRecord* error,
                                    bool* closedCleanly) {
  if (closedCleanly) *closedCleanly = false;
  std::uint8_t header[4];
  std::size_t got = 0;
  ErrorRecord headerError;
  if (!readExactly(socket, header, sizeof header, deadline, &got, &headerError)) {
    const bool clean = got == 0 && headerError.isErrorWithDomain(kScriptWireErrorDomain,
                                                                 kScriptConnectionInvalidError);
    if (clean && closedCleanly) *closedCleanly = true;
    if (!clean && error) *error = std::move(headerError);
    return std::nullopt;
  }
  const std::uint32_t length = (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
                               (std::uint32_t(header[2]) << 8) | std::uint32_t(header[3]);
  if (length > kScriptFrameLimit) {
    TL_SET_ERROR(error, kLogObject, kScriptWireErrorDomain, kScriptCorruptAnswerError,
                 "a script message of %u bytes is over the limit of %u", length, kScriptFrameLimit);
    return std::nullopt;
  }
  Data payload;
  while (payload.size() < length) {
    const std::size_t start = payload.size();
    payload.resize(start + std::min<std::size_t>(length - start, kReadStep));
    if (!readExactly(socket, payload.data() + start, payload.size() - start, deadline, &got, error))
      return std::nullopt;
  }
  return payload;
}

std::optional<std::string> scriptSocketFolder(ErrorRecord* error) {
  const std::string folder = preferredSocketFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    const int err = errno;
    TL_SET_UNIX_ERROR(error, kLogObject, err, "%s: %s", folder.c_str(), std::strerror(err));
    return std::nullopt;
  }
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0) {
    const int err = errno;
    TL_SET_UNIX_ERROR(error, kLogObject, err, "%s: %s", folder.c_str(), std::strerror(err));
    return std::nullopt;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || hasGroupOrOtherAccess(info)) {
    TL_SET_UNIX_ERROR(error, kLogObject, EACCES,
                      "%s: not a folder of this user that only this user may enter",
                      folder.c_str());
    return std::nullopt;
  }
  return folder;
}

std::optional<std::string> scriptSocketPath(std::string_view applicationName, ErrorRecord* error) {
  if (applicationName.empty() || applicationName.front() == '.' ||
      applicationName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
    TL_SET_UNIX_ERROR(error, kLogObject, EINVAL, "\"%.*s\" cannot name an application's socket",
                      static_cast<int>(applicationName.size()), applicationName.data());
    return std::nullopt;
  }
  std::optional<std::string> folder = scriptSocketFolder(error);
  if (!folder) return std::nullopt;
  std::string path = *folder + "/" + std::string(applicationName) + ".socket";
  if (path.size() >= sizeof(sockaddr_un::sun_path)) {
    TL_SET_UNIX_ERROR(error, kLogObject, ENAMETOOLONG, "%s: too long for a socket address",
                      path.c_str());
    return std::nullopt;
  }
  return path;
}

}  // namespace twinlens
