#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <forward_list>
#include <string>
#include <thread>

#include "platform/script_server.hpp"
#include "support/fake_script_host.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::testing {

// Gives a test its own socket folder and application search path through the environment, and
// puts every variable it changed back afterwards (the newest change is undone first).
class ScriptingEnvironment {
 public:
  ScriptingEnvironment() {
    set("XDG_RUNTIME_DIR", runtime_.path());
    set("TWINLENS_APPLICATIONS_PATH", applications_.path());
    unset("TWINLENS_SCRIPT_TIMEOUT");
  }

  void set(const char* name, const std::string& value) {
    changes_.emplace_front(name, value.c_str());
  }
  void unset(const char* name) { changes_.emplace_front(name, nullptr); }

  std::string socketFolder() const { return runtime_.path() + "/twinlens-scripting"; }
  std::string socketPath(const std::string& name) const {
    return socketFolder() + "/" + name + ".socket";
  }
  const TempDir& applications() const { return applications_; }

 private:
  TempDir runtime_;
  TempDir applications_;
  std::forward_list<ScopedEnv> changes_;
};

// A Unix socket at `path`, bound and listening (`listening`) or connected.
inline int unixSocket(const std::string& path, bool listening) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  if ((listening ? ::bind(fd, raw, sizeof address) : ::connect(fd, raw, sizeof address)) != 0 ||
      (listening && ::listen(fd, 4) != 0))
    ADD_FAILURE() << "socket at " << path << ": " << std::strerror(errno);
  return fd;
}

// A ScriptServer on a thread of the test.
class ServingThread {
 public:
  ServingThread(const std::string& name, ScriptServer::Handler handler) : server_(name) {
    ErrorRecord error;
    EXPECT_TRUE(server_.listen(&error)) << error.description();
    thread_ = std::thread([this, handler] { server_.serve(handler); });
  }
  ~ServingThread() {
    server_.stop();
    thread_.join();
  }

 private:
  ScriptServer server_;
  std::thread thread_;
};

}  // namespace twinlens::testing
