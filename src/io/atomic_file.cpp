#include "io/atomic_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

// mkostemp's six letters or digits after "<name>.".
constexpr std::size_t kTemporarySuffixLength = 6;

bool isTemporaryOf(std::string_view entry, std::string_view name) {
  if (entry.size() != name.size() + 1 + kTemporarySuffixLength || !entry.starts_with(name) ||
      entry[name.size()] != '.')
    return false;
  return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(name.size()) + 1, entry.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// A writer holds an exclusive flock on its temporary file while it writes, so a temporary file
// that anyone can lock was left by a save that was killed.
void removeAbandonedTemporaries(const std::string& folder, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!isTemporaryOf(entry.path().filename().native(), name)) continue;
    int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(entry.path().c_str());
    ::close(fd);
  }
}

// A fresh temporary file beside `path`, locked; -1 with errno set when none can be made.
int createLockedTemporary(const std::string& path, std::string* temp) {
  for (;;) {
    *temp = path + ".XXXXXX";
    int fd = ::mkostemp(temp->data(), O_CLOEXEC);
    if (fd < 0) return -1;
    bool locked = ::flock(fd, LOCK_EX) == 0;
    struct stat info;
    bool known = locked && ::fstat(fd, &info) == 0;
    int err = errno;
    // Another save may have taken it for abandoned before the lock was ours; then it is gone.
    if (known && info.st_nlink > 0) return fd;
    if (!known) ::unlink(temp->c_str());
    ::close(fd);
    if (!known && err != EINTR) {
      errno = err;
      return -1;
    }
  }
}

}  // namespace

bool writeDataAtomically(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                         mode_t mode, ErrorRecord* error) {
  return writeFileAtomically(
      path, mode, [&](const AtomicFileSink& sink, ErrorRecord*) { return sink(bytes, length); },
      error);
}

bool writeFileAtomically(
    const std::string& path, mode_t mode,
    const std::function<bool(const AtomicFileSink& sink, ErrorRecord* error)>& write,
    ErrorRecord* error) {
  std::string folder = folderOf(path);
  std::string temp;
  int fd = createLockedTemporary(path, &temp);
  if (fd < 0) return fail(temp, errno, error);
  int err = 0;
  AtomicFileSink sink = [&](const std::uint8_t* bytes, std::size_t length) {
    if (err == 0 && !writeAll(fd, bytes, length)) err = errno;
    return err == 0;
  };
  ErrorRecord writeError;
  if (::fchmod(fd, mode) != 0) err = errno;
  const bool made = err != 0 || write(sink, &writeError);
  if (err == 0 && made && ::fsync(fd) != 0) err = errno;
  bool written = err == 0 && made;
  if (::close(fd) != 0 && written) {
    written = false;
    err = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    if (err == 0) {
      if (error) *error = writeError;
      return false;
    }
    return fail(temp, err, error);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    return fail(path, err, error);
  }
  // The rename is durable only once the folder itself is on disk.
  if (!syncFolder(folder)) return fail(folder, errno, error);
  removeAbandonedTemporaries(folder, path.substr(path.rfind('/') + 1));
  return true;
}

}  // namespace twinlens
