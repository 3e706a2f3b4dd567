#include "library_folder.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "album_data_writer.hpp"
#include "platform/plist_reader.hpp"
#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"

namespace twinlens::standin {

namespace {

std::string expandingTilde(const std::string& path) {
  // Only "~" and "~/..." name our own home; "~user" is left as it stands.
  if (!path.starts_with('~') || (path.size() > 1 && path[1] != '/')) return path;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + path.substr(1);
}

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<LibraryLock> LibraryLock::acquire(const std::string& folder, ErrorRecord* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int err = fd < 0 ? errno : 0;
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    err = errno;
    if (err == EWOULDBLOCK) logInfo("waiting for another iPhoto to finish with %s", folder.c_str());
    while (err == EWOULDBLOCK || err == EINTR) err = ::flock(fd, LOCK_EX) == 0 ? 0 : errno;
  }
  if (err == 0) return LibraryLock(fd);
  if (fd >= 0) ::close(fd);
  TL_SET_UNIX_ERROR(error, &typeid(LibraryLock), err, "%s: %s", folder.c_str(), std::strerror(err));
  return std::nullopt;
}

LibraryLock::~LibraryLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> LibraryFolder::choose(const std::optional<std::string>& requested,
                                                 ErrorRecord* error) {
  std::optional<std::string> folder = requested;
  if (!folder) {
    UserDefaults preferences(kIPhotoDefaultsDomain);
    folder = preferences.stringForKey(kIPhotoRootDirectoryKey);
    if (!folder) {
      TL_SET_ERROR(error, &typeid(LibraryFolder), errorDomain(), kNoLibraryError,
                   "no library: give --library DIR, or set \"%s\" in \"%s\"",
                   kIPhotoRootDirectoryKey, kIPhotoDefaultsDomain);
      return std::nullopt;
    }
    folder = expandingTilde(*folder);
  }
  if (!isFolder(*folder)) {
    TL_SET_ERROR(error, &typeid(LibraryFolder), errorDomain(), kNoLibraryError, "%s: not a folder",
                 folder->c_str());
    return std::nullopt;
  }
  return folder;
}

bool LibraryFolder::remember(const std::string& folder, ErrorRecord* error) {
  UserDefaults preferences(kIPhotoDefaultsDomain);
  preferences.setString(folder, kIPhotoRootDirectoryKey);
  return preferences.synchronize(error);
}

std::optional<IPhotoLibrary> LibraryFolder::open(const std::string& folder, ErrorRecord* error) {
  std::optional<PListValue> albumData = PListReader::parseFile(albumDataPath(folder), error);
  if (!albumData) return std::nullopt;
  return IPhotoLibrary::fromAlbumData(*albumData, error);
}

bool LibraryFolder::save(const std::string& folder, const PListValue& albumData,
                         ErrorRecord* error) {
  if (!AlbumDataWriter::writeFile(albumDataPath(folder), albumData, error)) return false;
  TL_LOG_DEBUG(&typeid(LibraryFolder), "saved %s", albumDataPath(folder).c_str());
  return true;
}

std::optional<std::size_t> LibraryFolder::restoreTrash(const std::string& folder,
                                                       ErrorRecord* error) {
  std::optional<LibraryLock> lock = LibraryLock::acquire(folder, error);
  if (!lock) return std::nullopt;
  std::optional<IPhotoLibrary> library = open(folder, error);
  if (!library) return std::nullopt;
  std::size_t restored = library->restoreTrash();
  if (!save(folder, library->albumData(), error)) return std::nullopt;
  return restored;
}

}  // namespace twinlens::standin
