#include "platform/application_launcher.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <typeinfo>

namespace twinlens {

namespace {

// What the two forked processes tell the launcher through the status pipe.
struct StatusMessage {
  char what;  // 'p': the application's pid; 'e': an errno of fork or exec
  int value;
};

constexpr int kStatusDescriptor = 3;

// Runs in the freshly forked application process: only async-signal-safe calls until exec.
[[noreturn]] void becomeApplication(const char* executable, int statusWrite) {
  ::setsid();
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &defaults, nullptr);
  ::dup2(statusWrite, kStatusDescriptor);
  ::fcntl(kStatusDescriptor, F_SETFD, FD_CLOEXEC);
  const int nothing = ::open("/dev/null", O_RDWR);
  for (int standard = 0; standard < 3; ++standard) ::dup2(nothing, standard);
  ::close_range(kStatusDescriptor + 1, ~0u, 0);
  char* const arguments[] = {const_cast<char*>(executable), nullptr};
  ::execv(executable, arguments);
  const StatusMessage failed{'e', errno};
  [[maybe_unused]] ssize_t written = ::write(kStatusDescriptor, &failed, sizeof failed);
  ::_exit(127);
}

// The intermediate process: starts the application and leaves at once, so that the application
// is adopted by the system rather than left to the launcher to reap.
[[noreturn]] void startApplication(const char* executable, int statusWrite) {
  const pid_t pid = ::fork();
  if (pid == 0) becomeApplication(executable, statusWrite);
  const StatusMessage started = pid > 0 ? StatusMessage{'p', pid} : StatusMessage{'e', errno};
  [[maybe_unused]] ssize_t written = ::write(statusWrite, &started, sizeof started);
  ::_exit(0);
}

}  // namespace

pid_t ApplicationLauncher::launch(const std::string& executable, ErrorRecord* error) {
  int status[2];
  if (::pipe2(status, O_CLOEXEC) != 0) {
    const int err = errno;
    TL_SET_UNIX_ERROR(error, &typeid(ApplicationLauncher), err, "%s: %s", executable.c_str(),
                      std::strerror(err));
    return -1;
  }
  const pid_t starter = ::fork();
  if (starter == 0) {
    ::close(status[0]);
    startApplication(executable.c_str(), status[1]);
  }
  int err = starter < 0 ? errno : 0;
  ::close(status[1]);
  pid_t application = -1;
  StatusMessage message{};
  // The pipe ends once the application has exec'd (or failed to) and the starter has left.
  while (starter > 0) {
    const ssize_t n = ::read(status[0], &message, sizeof message);
    if (n < 0 && errno == EINTR) continue;
    if (n != sizeof message) break;
    if (message.what == 'p') application = message.value;
    if (message.what == 'e') err = message.value;
  }
  ::close(status[0]);
  if (starter > 0) {
    while (::waitpid(starter, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (err != 0 || application < 0) {
    if (err == 0) err = ECHILD;
    TL_SET_UNIX_ERROR(error, &typeid(ApplicationLauncher), err, "%s: %s", executable.c_str(),
                      std::strerror(err));
    return -1;
  }
  return application;
}

}  // namespace twinlens
