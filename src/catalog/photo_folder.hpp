#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/duplicate_results.hpp"
#include "catalog/photo.hpp"
#include "catalog/photo_library.hpp"

namespace twinlens {

// A folder of photo files taken as a library: every regular file under it, at any depth, whose
// name has a photo extension (hasPhotoExtension()) and whose content begins as a photo does
// (photoFileTypeOfContent()). Symbolic links are never followed and names starting with "." are
// skipped, files and folders alike. Each file becomes a Photo whose key is its path relative to
// the folder (photoKeyForRelativePath()), so its cached hash survives files coming and going
// elsewhere; its image, original and thumbnail paths are the file, its caption the file name,
// its date the file's modification time, and its roll the folder it lies in (relative to the
// folder, "." at the top).
class PhotoFolder {
 public:
  // One candidate file of the walk, with its status as read then.
  struct File {
    std::string relativePath;
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
  };

  explicit PhotoFolder(std::string root) : root_(std::move(root)) {}
  const std::string& root() const { return root_; }

  // The regular files with a photo extension, in byte order of their relative paths. A folder
  // or file below the root that cannot be read is named in a Warn line and skipped; the walk
  // goes on. Stops early, with what it found, once `cancel` is set. Fails with
  // "UnixErrorDomain" errno "%@: %s" when the root itself cannot be read as a folder.
  std::optional<std::vector<File>> photoFiles(const std::atomic<bool>* cancel = nullptr,
                                              ErrorRecord* error = nullptr) const;

  // A record for every file whose content is a photo, reusing the record of `previous` (may be
  // null) with the same key; a file whose cached record still matches its size and
  // modification time is not opened again. Fills `rollNames` with the folders' names. A file
  // that cannot be opened is named in a Warn line and left out.
  std::vector<std::shared_ptr<Photo>> photosToProcess(const std::vector<File>& files,
                                                      const PhotoLibrary* previous,
                                                      RollNames& rollNames) const;

  // The relative path as a key that is always UTF-8, as the cache stores texts: each byte
  // outside well-formed UTF-8, and each "%", becomes "%XX" (upper-case hexadecimal), so
  // distinct paths keep distinct keys.
  static std::string photoKeyForRelativePath(std::string_view relativePath);

 private:
  std::string fullPath(std::string_view relativePath) const;

  std::string root_;
};

}  // namespace twinlens
