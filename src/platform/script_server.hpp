#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/script_host.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// The application's end of the script host: listens on the application's socket (see
// scriptSocketPath) and answers each script text that arrives with what the handler made of it.
// Connections of other users are closed unanswered. Several connections may be open at once;
// each carries any number of requests, answered one at a time and in order, on the thread that
// calls serve(). No connection waits on another: requests and replies move as their bytes
// arrive or find room, and a connection that leaves a request or its reply unfinished for 30
// seconds is dropped. Not copyable; used by one thread, except stop().
class ScriptServer {
 public:
  using Handler = std::function<ScriptOutcome(std::string_view source)>;

  explicit ScriptServer(std::string applicationName);
  // Closes every connection and removes the socket, when this server made it.
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  // Makes the socket. A socket that a live server answers on is refused ("UnixErrorDomain"
  // EADDRINUSE); one that nobody answers is left over from an earlier run and is replaced. A
  // file of another user or one that is not a socket is refused, as is an unsafe folder.
  [[nodiscard]] bool listen(ErrorRecord* error = nullptr);

  // Answers requests until stop(); returns at once when listen() has not succeeded. A handler
  // that calls stop() (after "quit", say) still has its reply sent. On return the socket is
  // gone and every connection closed, so that the next script finds the application not
  // running rather than waiting on it; listen() may be called again.
  void serve(const Handler& handler);

  // Makes serve() return after the request at hand. Safe in a signal handler and from any thread.
  void stop();

  const std::string& applicationName() const { return applicationName_; }
  // The socket's path once listen() succeeded; empty before.
  const std::string& socketPath() const { return socketPath_; }

 private:
  // One client: the bytes of its requests that came so far, and the reply not yet sent.
  struct Connection {
    int fd = -1;
    Data received;
    Data reply;
    std::size_t sent = 0;
    bool closeAfterReply = false;
    // When the request begun or the reply under way must be done; max() when idle.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  };

  bool replaceStaleSocket(const std::string& path, ErrorRecord* error);
  void acceptConnection();
  int pollTimeout() const;
  // Moves the connection's bytes and answers what it completed; false when it is to be closed.
  bool service(Connection& connection, short events, const Handler& handler);
  bool receive(Connection& connection);
  bool sendReply(Connection& connection);
  bool answerOne(Connection& connection, const Handler& handler);
  void closeAll();
  void closeListener();

  std::string applicationName_;
  std::string socketPath_;
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::atomic<bool> stopRequested_{false};
  dev_t socketDevice_ = 0;
  ino_t socketInode_ = 0;
  std::vector<Connection> connections_;
};

}  // namespace twinlens
