#include "platform/script_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/integer_io.hpp"
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

// The payload length that a frame's first four bytes give.
std::size_t frameLength(const std::uint8_t* header) {
  return std::size_t(header[0]) << 24 | std::size_t(header[1]) << 16 | std::size_t(header[2]) << 8 |
         header[3];
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
    for (const Connection& connection : connections_)
      entries.push_back({connection.fd,
                         connection.sent < connection.reply.size() ? short(POLLOUT) : short(POLLIN),
                         0});
    if (::poll(entries.data(), entries.size(), pollTimeout()) < 0) {
      if (errno == EINTR) continue;
      logError("%s stops answering scripts: poll: %s", applicationName_.c_str(),
               std::strerror(errno));
      break;
    }
    char drained[64];
    while (::read(wakeRead_, drained, sizeof drained) > 0) {
    }
    // Entries and connections match one for one until the first close below.
    std::vector<int> closing;
    for (std::size_t i = 2; i < entries.size() && !stopRequested_.load(); ++i)
      if (!service(connections_[i - 2], entries[i].revents, handler))
        closing.push_back(entries[i].fd);
    for (int fd : closing) {
      ::close(fd);
      std::erase_if(connections_, [fd](const Connection& c) { return c.fd == fd; });
    }
    if ((entries[1].revents & POLLIN) && !stopRequested_.load()) acceptConnection();
  }
  closeAll();
}

int ScriptServer::pollTimeout() const {
  auto nearest = std::chrono::steady_clock::time_point::max();
  for (const Connection& connection : connections_)
    nearest = std::min(nearest, connection.deadline);
  if (nearest == std::chrono::steady_clock::time_point::max()) return -1;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(nearest - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
}

bool ScriptServer::service(Connection& connection, short events, const Handler& handler) {
  if (std::chrono::steady_clock::now() >= connection.deadline) {
    TL_LOG_DEBUG(this, "script connection dropped: no progress in %lld s",
                 static_cast<long long>(kFrameTime.count()));
    return false;
  }
  if (events == 0) return true;
  if (connection.sent < connection.reply.size()) {
    if (!sendReply(connection)) return false;
  } else if (!receive(connection)) {
    return false;
  }
  while (connection.sent == connection.reply.size()) {
    if (connection.closeAfterReply) return false;
    const std::size_t length =
        connection.received.size() < 4 ? 0 : frameLength(connection.received.data());
    if (length > kScriptFrameLimit) {
      TL_LOG_DEBUG(this, "script connection dropped: a request of %zu bytes", length);
      return false;
    }
    if (connection.received.size() < 4 || connection.received.size() - 4 < length) break;
    if (!answerOne(connection, handler)) return false;
  }
  connection.deadline =
      connection.received.empty() && connection.sent == connection.reply.size()
          ? std::chrono::steady_clock::time_point::max()
          : std::min(connection.deadline, std::chrono::steady_clock::now() + kFrameTime);
  return true;
}

bool ScriptServer::receive(Connection& connection) {
  std::uint8_t piece[64 * 1024];
  const ssize_t n = ::recv(connection.fd, piece, sizeof piece, MSG_DONTWAIT);
  if (n > 0) {
    connection.received.insert(connection.received.end(), piece, piece + n);
    return true;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (!connection.received.empty())
    TL_LOG_DEBUG(this, "script connection dropped in the middle of a request");
  return false;
}

bool ScriptServer::sendReply(Connection& connection) {
  const ssize_t n = ::send(connection.fd, connection.reply.data() + connection.sent,
                           connection.reply.size() - connection.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) {
    connection.sent += static_cast<std::size_t>(n);
    if (connection.sent == connection.reply.size()) {
      connection.reply.clear();
      connection.sent = 0;
    }
    return true;
  }
  if (errno == EINTR || errno == EAGAIN) return true;
  TL_LOG_DEBUG(this, "script reply not sent: %s", std::strerror(errno));
  return false;
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
  Connection added;
  added.fd = connection;
  connections_.push_back(std::move(added));
}

bool ScriptServer::answerOne(Connection& connection, const Handler& handler) {
  const std::size_t length = frameLength(connection.received.data());
  ErrorRecord error;
  std::optional<std::string> source = decodeRequest(connection.received.data() + 4, length, &error);
  connection.received.erase(connection.received.begin(),
                            connection.received.begin() + 4 + static_cast<std::ptrdiff_t>(length));
  const ScriptOutcome outcome =
      source ? handler(*source) : ScriptOutcome::failure(error.code(), error.description());
  const Data payload = encodeReply(outcome);
  // A handler that stopped the server has the socket gone before its reply, so that whoever
  // reads the reply and sends the next script finds the application not running; the reply is
  // sent before serve() returns.
  if (stopRequested_.load()) {
    closeListener();
    if (!writeScriptFrame(connection.fd, payload, std::chrono::steady_clock::now() + kFrameTime,
                          &error))
      TL_LOG_DEBUG(this, "script reply not sent: %s", error.description().c_str());
    return false;
  }
  connection.reply.clear();
  IntegerIO::writeUInt32(static_cast<std::uint32_t>(payload.size()), connection.reply);
  connection.reply.insert(connection.reply.end(), payload.begin(), payload.end());
  connection.sent = 0;
  connection.closeAfterReply = !source;
  connection.deadline = std::chrono::steady_clock::now() + kFrameTime;
  return sendReply(connection);
}

void ScriptServer::closeAll() {
  for (const Connection& connection : connections_) ::close(connection.fd);
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
