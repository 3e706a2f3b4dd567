#include "io/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <typeinfo>

namespace twinlens {

namespace {

struct AtomicWrite {};

bool fail(const std::string& path, int err, ErrorRecord* error) {
  TL_SET_UNIX_ERROR(error, &typeid(AtomicWrite), err, "%s: %s", path.c_str(), std::strerror(err));
  return false;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

bool syncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc = ::fsync(fd);
  int err = errno;
  ::close(fd);
  errno = err;
  return rc == 0;
}

}  // namespace

bool writeDataAtomically(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                         mode_t mode, ErrorRecord* error) {
  std::string folder = folderOf(path);
  std::string temp = path + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(temp, errno, error);
  bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes, length) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    err = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return fail(temp, err, error);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    return fail(path, err, error);
  }
  // The rename is durable only once the folder itself is on disk.
  if (!syncFolder(folder)) return fail(folder, errno, error);
  return true;
}

}  // namespace twinlens
