#include "io/file_helpers.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <typeinfo>

#include "shared/text_format.hpp"

namespace twinlens {

namespace {

struct FileHelpers {};
const void* const kSelf = &typeid(FileHelpers);

std::string_view withoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

bool isFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool existsFollowingLinks(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

// True when the folder was made or is there already (someone else may have made it since we
// looked); otherwise false with mkdir's errno left in errno.
bool mkdirOrFolder(const std::string& folder, mode_t mode) {
  if (::mkdir(folder.c_str(), mode) == 0) return true;
  int err = errno;
  if (err == EEXIST && isFolder(folder)) return true;
  errno = err;
  return false;
}

bool makeFolders(const std::string& folder, mode_t mode, ErrorRecord* error) {
  if (mkdirOrFolder(folder, mode)) return true;
  int err = errno;
  std::string parent = stringByDeletingLastPathComponent(folder);
  if (err == ENOENT && !parent.empty() && parent != folder) {
    if (!makeFolders(parent, mode, error)) return false;
    if (mkdirOrFolder(folder, mode)) return true;
    err = errno;
  }
  TL_SET_UNIX_ERROR(error, kSelf, err, "mkdir(%s): %s", folder.c_str(), std::strerror(err));
  return false;
}

bool isWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The position of the dot that starts the extension, or npos. The stem must be at least one
// character and hold no line break; the extension runs to the end.
std::size_t extensionStart(std::string_view path) {
  std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == path.size())
    return std::string_view::npos;
  if (path.find_first_of("\r\n") != std::string_view::npos) return std::string_view::npos;
  for (char c : path.substr(dot + 1))
    if (!isWordCharacter(c)) return std::string_view::npos;
  return dot;
}

bool existsWithoutFollowingLinks(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string stringByDeletingLastPathComponent(std::string_view path) {
  path = withoutTrailingSlashes(path);
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string();
  if (slash == 0) return "/";
  return std::string(withoutTrailingSlashes(path.substr(0, slash)));
}

std::string lastPathComponent(std::string_view path) {
  path = withoutTrailingSlashes(path);
  if (path == "/") return "/";
  std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool ensureParentPathExistsForPath(const std::string& path, ErrorRecord* error) {
  return ensureParentPathExistsForPath(path, 0777, error);
}

bool ensureParentPathExistsForPath(const std::string& path, mode_t mode, ErrorRecord* error) {
  std::string parent = stringByDeletingLastPathComponent(path);
  if (parent.empty()) parent.push_back('.');
  if (!existsFollowingLinks(parent)) return makeFolders(parent, mode, error);
  if (isFolder(parent)) return true;
  TL_SET_ERROR(error, kSelf, kFileErrorDomain, kFileParentNotFolderError,
               "parent path %s exists and is not a directory", parent.c_str());
  return false;
}

bool isRegularFileMode(const std::string& path, mode_t mode, ErrorRecord* error) {
  if (S_ISREG(mode)) return true;
  TL_SET_UNIX_ERROR(error, kSelf, S_ISDIR(mode) ? EISDIR : EINVAL, "%s is not a regular file",
                    path.c_str());
  return false;
}

int openRegularFileForReading(const std::string& path, int flags, ErrorRecord* error) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, kSelf, err, "%s", std::strerror(err));
    return -1;
  }
  struct stat info;
  int err = ::fstat(fd, &info) == 0 ? 0 : errno;
  if (err == 0 && isRegularFileMode(path, info.st_mode, error)) {
    int status = ::fcntl(fd, F_GETFL);
    if (status != -1 && ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0) return fd;
    err = errno;
  }
  ::close(fd);
  if (err != 0) TL_SET_UNIX_ERROR(error, kSelf, err, "%s", std::strerror(err));
  return -1;
}

bool touchFileAtPath(const std::string& path, ErrorRecord* error) {
  return touchFileAtPath(path, 0777, error);
}

bool touchFileAtPath(const std::string& path, mode_t mode, ErrorRecord* error) {
  if (existsFollowingLinks(path)) {
    struct timeval now = {std::time(nullptr), 0};
    struct timeval times[2] = {now, now};
    if (::utimes(path.c_str(), times) == 0) return true;
    int err = errno;
    TL_SET_UNIX_ERROR(error, kSelf, err, "utimes(%s): %s", path.c_str(), std::strerror(err));
    return false;
  }
  int fd = ::open(path.c_str(), O_CREAT | O_RDONLY | O_CLOEXEC, mode);
  if (fd < 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, kSelf, err, "%s", std::strerror(err));
    return false;
  }
  ::close(fd);
  return true;
}

std::string absoluteNormalPath(std::string_view path) {
  std::filesystem::path whole(path);
  std::error_code noFolder;
  if (whole.is_relative()) whole = std::filesystem::current_path(noFolder) / whole;
  std::string text = whole.lexically_normal().native();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool createUniqueTempDirectoryWithTemplate(const std::string& templatePath,
                                           std::optional<std::string>* createdDirectory,
                                           ErrorRecord* error) {
  createdDirectory->reset();
  std::string copy = templatePath;
  if (!::mkdtemp(copy.data())) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, kSelf, err, "mkdtemp(%s): %s", templatePath.c_str(),
                      std::strerror(err));
    return false;
  }
  *createdDirectory = std::move(copy);
  return true;
}

std::string stringWithUniquePath(const std::string& path) {
  if (!existsWithoutFollowingLinks(path)) return path;
  std::size_t dot = extensionStart(path);
  std::string_view whole(path);
  std::string_view stem = dot == std::string_view::npos ? whole : whole.substr(0, dot);
  std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : whole.substr(dot);
  for (unsigned long long k = 2;; ++k) {
    std::string candidate = formatText("%.*s_%llu%.*s", static_cast<int>(stem.size()), stem.data(),
                                       k, static_cast<int>(extension.size()), extension.data());
    if (!existsWithoutFollowingLinks(candidate)) return candidate;
  }
}

}  // namespace twinlens
