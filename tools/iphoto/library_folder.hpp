#pragma once

#include <optional>
#include <string>
#include <utility>

#include "iphoto_library.hpp"
#include "platform/plist_value.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// One process at a time on a library folder: an exclusive lock on the folder itself (which,
// unlike the catalogue, is never replaced), so that no instance reads the catalogue while
// another is still writing it. Released when destroyed.
class LibraryLock {
 public:
  // Waits for the lock, saying so when another process holds it; "UnixErrorDomain" errno when
  // the folder cannot be opened or locked.
  static std::optional<LibraryLock> acquire(const std::string& folder,
                                            ErrorRecord* error = nullptr);
  LibraryLock(LibraryLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  LibraryLock& operator=(LibraryLock&&) = delete;
  ~LibraryLock();

 private:
  explicit LibraryLock(int fd) : fd_(fd) {}
  int fd_;
};

// The library folder on disk: which one to open, and its "AlbumData.xml".
class LibraryFolder {
 public:
  // `requested` when given; else iPhoto's "RootDirectory" preference with a leading "~" or "~/"
  // expanded to $HOME. Fails with errorDomain() -1 when neither names a folder.
  static std::optional<std::string> choose(const std::optional<std::string>& requested,
                                           ErrorRecord* error = nullptr);
  // Makes `folder` iPhoto's current library ("RootDirectory", written out at once).
  [[nodiscard]] static bool remember(const std::string& folder, ErrorRecord* error = nullptr);

  static std::string albumDataPath(const std::string& folder) { return folder + "/AlbumData.xml"; }
  // Reads the folder's catalogue: the parser's record for a file that is missing or not a
  // property list, IPhotoLibrary's for one of the wrong shape.
  static std::optional<IPhotoLibrary> open(const std::string& folder, ErrorRecord* error = nullptr);
  // Replaces the folder's catalogue with `albumData`, atomically.
  [[nodiscard]] static bool save(const std::string& folder, const PListValue& albumData,
                                 ErrorRecord* error = nullptr);

  // Opens the folder's library under its lock, puts everything in its trash back and saves it:
  // the number of photos that came back, or nullopt with the record of the lock, open() or
  // save().
  static std::optional<std::size_t> restoreTrash(const std::string& folder,
                                                 ErrorRecord* error = nullptr);

  static const char* errorDomain() { return "LibraryFolderErrorDomain"; }
  // Its one code: no library is named, or the one named is not a folder.
  static constexpr std::int32_t kNoLibraryError = -1;
};

}  // namespace twinlens::standin
