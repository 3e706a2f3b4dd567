#include "platform/script_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/script_wire.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

// A client that has begun a request has this long to finish it, and to take the reply.
constexpr std::chrono::seconds kFrameTime(30);

sockaddr_un socketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool peerIsThisUser(int connection) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
         credentials.uid == ::geteuid();
}

}  // namespace

ScriptServer::ScriptServer(std::string applicationName)
    : applicationName_(std::move(applicationName)) {}

ScriptServer::~ScriptServer() {
  closeAll();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool ScriptServer::listen(ErrorRecord* error) {
  if (listener_ >= 0) return true;
  std::optional<std::string> path = scriptSocketPath(applicationName_, error);
  if (!path || !replaceStaleSocket(*path, error)) return false;
  if (wakeRead_ < 0) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
      const int err = errno;
      TL_SET_UNIX_ERROR(error, this, err, "pipe: %s", std::strerror(err));
      return false;
    }
    wakeRead_ = ends[0];
    wakeWrite_ = ends[1];
  }
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = socketAddress(*path);
  if (listener < 0 ||
      ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, SOMAXCONN) != 0) {
    const int err = errno;
    if (listener >= 0) ::close(listener);
    TL_SET_UNIX_ERROR(error, this, err, "%s: %s", path->c_str(), std::strerror(err));
    return false;
  }
  struct stat info;
  if (::stat(path->c_str(), &info) == 0) {
    socketDevice_ = info.st_dev;
    socketInode_ = info.st_ino;
  }
  listener_ = listener;
  socketPath_ = *path;
  stopRequested_.store(false);
  TL_LOG_DEBUG(this, "%s answers scripts on %s", applicationName_.c_str(), socketPath_.c_str());
  return true;
}

bool ScriptServer::replaceStaleSocket(const std::string& path, ErrorRecord* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return true;
  if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
    TL_SET_UNIX_ERROR(error, this, EACCES, "%s: not a socket of this user", path.c_str());
    return false;
  }
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = socketAddress(path);
  const bool answered = probe >= 0 && ::connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                                sizeof address) == 0;
  const int err = errno;
  if (probe >= 0) ::close(probe);
  if (answered) {
    TL_SET_UNIX_ERROR(error, this, EADDRINUSE, "%s: another %s answers scripts already",
                      path.c_str(), applicationName_.c_str());
    return false;
  }
  if (err != ECONNREFUSED && err != ENOENT) {
    TL_SET_UNIX_ERROR(error, this, err, "%s: %s", path.c_str(), std::strerror(err));
    return false;
  }
  ::unlink(path.c_str());
  return true;
}

void ScriptServer::serve(const Handler& handler) {
  std::vector<pollfd> entries;
  while (listener_ >= 0 && !stopRequested_.load()) {
    entries.assign({{wakeRead_, POLLIN, 0}, {listener_, POLLIN, 0}});
    for (int connection : connections_) entries.push_back({connection, POLLIN, 0});
    if (::poll(entries.data(), entries.size(), -1) < 0) {
      if (errno == EINTR) continue;
      logError("%s stops answering scripts: poll: %s", applicationName_.c_str(),
               std::strerror(errno));
      break;
    }
    char drained[64];
    while (::read(wakeRead_, drained, sizeof drained) > 0) {
    }
    for (std::size_t i = 2; i < entries.size() && !stopRequested_.load(); ++i) {
      if (entries[i].revents == 0 || answerOne(entries[i].fd, handler)) continue;
      ::close(entries[i].fd);
      std::erase(connections_, entries[i].fd);
    }
    if ((entries[1].revents & POLLIN) && !stopRequested_.load()) acceptConnection();
  }
  closeAll();
}

void ScriptServer::stop() {
  stopRequested_.store(true);
  if (wakeWrite_ >= 0) {
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &wake, 1);
  }
}

void ScriptServer::acceptConnection() {
  const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) return;
  if (!peerIsThisUser(connection)) {
    logWarn("%s refused a script connection of another user", applicationName_.c_str());
    ::close(connection);
    return;
  }
  connections_.push_back(connection);
}

bool ScriptServer::answerOne(int connection, const Handler& handler) {
  ErrorRecord error;
  bool closedCleanly = false;
  const ScriptDeadline deadline = std::chrono::steady_clock::now() + kFrameTime;
  std::optional<Data> frame = readScriptFrame(connection, deadline, &error, &closedCleanly);
  if (!frame) {
    if (!closedCleanly)
      TL_LOG_DEBUG(this, "script connection dropped: %s", error.description().c_str());
    return false;
  }
  std::optional<std::string> source = decodeRequest(frame->data(), frame->size(), &error);
  const ScriptOutcome outcome =
      source ? handler(*source) : ScriptOutcome::failure(error.code(), error.description());
  // A handler that stopped the server has the socket gone before its reply, so that whoever
  // reads the reply and sends the next script finds the application not running.
  if (stopRequested_.load()) closeListener();
  if (!writeScriptFrame(connection, encodeReply(outcome),
                        std::chrono::steady_clock::now() + kFrameTime, &error)) {
    TL_LOG_DEBUG(this, "script reply not sent: %s", error.description().c_str());
    return false;
  }
  return source.has_value();
}

void ScriptServer::closeAll() {
  for (int connection : connections_) ::close(connection);
  connections_.clear();
  closeListener();
}

void ScriptServer::closeListener() {
  if (listener_ < 0) return;
  ::close(listener_);
  listener_ = -1;
  struct stat info;
  if (::lstat(socketPath_.c_str(), &info) == 0 && info.st_dev == socketDevice_ &&
      info.st_ino == socketInode_)
    ::unlink(socketPath_.c_str());
  socketPath_.clear();
}

}  // namespace twinlens
