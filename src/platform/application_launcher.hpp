#pragma once

#include <sys/types.h>

#include <string>

#include "shared/error_record.hpp"

namespace twinlens {

// Starts applications the way the desktop does: detached from the starter, so that they outlive
// it and never become its zombies. Any thread.
class ApplicationLauncher {
 public:
  // Runs `executable` with no arguments in a session of its own, standard input, output and error
  // on /dev/null, no other descriptor inherited, signals at their defaults, and the environment
  // of this process. Returns its process identifier once it runs, or -1 when it could not be
  // started ("UnixErrorDomain", "%@: %s" with the executable and the system's text).
  static pid_t launch(const std::string& executable, ErrorRecord* error = nullptr);
};

}  // namespace twinlens
