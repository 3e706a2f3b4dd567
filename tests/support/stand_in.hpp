#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/script_wire.hpp"

namespace twinlens::testing {

// The built stand-in iPhoto, under the build folder that ctest names in $TWINLENS_BUILD_DIR.
inline std::string standInExecutable() {
  const char* build = std::getenv("TWINLENS_BUILD_DIR");
  return std::string(build ? build : ".") + "/Applications/iPhoto.app/Contents/MacOS/iPhoto";
}

// The process that answers on this test's iPhoto socket (others may run on the machine), by the
// credentials of a connection to it; -1 when none answers.
inline pid_t standInPid() {
  std::optional<std::string> path = scriptSocketPath("iPhoto");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.value_or("").c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ucred peer{-1, 0, 0};
  socklen_t length = sizeof peer;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
    peer.pid = -1;
  ::close(fd);
  return peer.pid;
}

}  // namespace twinlens::testing
