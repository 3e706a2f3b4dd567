#include "io/file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace twinlens {

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

FileLock::State FileLock::tryLock(ErrorRecord* error) {
  if (fd_ >= 0) return State::acquired;
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  int err = errno;
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    fd_ = fd;
    return State::acquired;
  }
  if (fd >= 0) {
    err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return State::busy;
  }
  TL_SET_UNIX_ERROR(error, this, err, "%s: %s", path_.c_str(), std::strerror(err));
  return State::failed;
}

}  // namespace twinlens
