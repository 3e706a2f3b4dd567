#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/photo.hpp"
#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/date.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// The Photo records of one iPhoto library, keyed by iPhoto key, with the date of the scan that
// produced them, and their cache file "photoLibrary.dat" (layout in doc/cache-format.md). The
// library keeps its records alive and shares them with the lists of a scan. No lock: one thread
// uses a library at a time.
class PhotoLibrary {
 public:
  static constexpr std::uint32_t kCacheVersion = 2;
  // The cache holds paths and captions: its folders and files are its owner's only.
  static constexpr mode_t kCacheFolderMode = 0700;
  static constexpr mode_t kCacheFileMode = 0600;
  // Keys in ascending byte order, which is the order of the cache file.
  using PhotoMap = std::map<std::string, std::shared_ptr<Photo>, std::less<>>;

  // A library of `photos`, each under its key (a later photo with the same key replaces an
  // earlier one), its cache path from cachePathForIPhotoLibraryPath(). Null photos are a
  // programming error (ProgrammingError). A library always has a path: there is no default
  // constructor.
  PhotoLibrary(std::string iPhotoLibraryPath, const std::vector<std::shared_ptr<Photo>>& photos,
               std::optional<Date> scanDate);
  // The same with its cache at `cachePath` (a folder's, cachePathForFolderPath()).
  PhotoLibrary(std::string iPhotoLibraryPath, const std::vector<std::shared_ptr<Photo>>& photos,
               std::optional<Date> scanDate, std::string cachePath);
  PhotoLibrary() = delete;

  // The library cached for a library folder, from its usual cache path or from `cacheFile`. No
  // file there gives an empty library without scan date (a first run is not an error). Null with
  // a record when the file's status cannot be read ("UnixErrorDomain" errno "%@: %s") or when
  // loadFromStream() fails; no partly loaded library is ever returned.
  static std::shared_ptr<PhotoLibrary> initFromCacheWithIPhotoLibraryPath(
      const std::string& iPhotoLibraryPath, ErrorRecord* error = nullptr);
  static std::shared_ptr<PhotoLibrary> initFromCacheWithIPhotoLibraryPath(
      const std::string& iPhotoLibraryPath, const std::string& cacheFile,
      ErrorRecord* error = nullptr);

  // The records of the cache at `cacheFile` as initFromCacheWithIPhotoLibraryPath() loads them,
  // in ascending key order, one per key, but in a plain list: a scan that only looks its old
  // records up in order needs no map of them. Fails as that does.
  static std::optional<std::vector<std::shared_ptr<Photo>>> cachedPhotos(
      const std::string& cacheFile, ErrorRecord* error = nullptr);
  // The same from a stream over the cache layout, failing as loadFromStream() does.
  static std::optional<std::vector<std::shared_ptr<Photo>>> cachedPhotos(
      BufferedInputStream& stream, ErrorRecord* error = nullptr);

  // "<application support>/<app name>/Data.noindex<library path>/photoLibrary.dat", the library
  // path made absolute and normalised first (absoluteNormalPath()).
  static std::string cachePathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath);
  // "folderLibrary.dat" beside where that folder's cache as an iPhoto library would be, so a
  // folder that is also a library keeps one cache per kind of scan.
  static std::string cachePathForFolderPath(const std::string& folderPath);
  // "scan.lock" beside the cache file, which a scan holds locked (FileLock) while it runs.
  static std::string scanLockPathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath);
  static const char* errorDomain() { return "PhotoLibraryErrorDomain"; }
  // Its codes: the cache file is of another version; handing the cache's bytes to the file failed.
  static constexpr std::int32_t kWrongVersionError = -1;
  static constexpr std::int32_t kWriteFailedError = -2;

  const std::string& iPhotoLibraryPath() const { return iPhotoLibraryPath_; }
  const std::string& cachePath() const { return cachePath_; }
  const std::optional<Date>& scanDate() const { return scanDate_; }
  std::size_t count() const { return photosByIPhotoKey_.size(); }
  // Every key (ascending, though callers must not rely on an order).
  std::vector<std::string> photoKeys() const;
  // The record for `key`, or null.
  std::shared_ptr<Photo> photoForIPhotoKey(std::string_view key) const;
  const PhotoMap& photosByIPhotoKey() const { return photosByIPhotoKey_; }
  // Removes the records of these keys, ignoring keys that are not present. Saves nothing.
  void removePhotosForIPhotoKeys(const std::vector<std::string>& keys);

  // Replaces the cache file whole: makes missing folders (mode 0700), writes the file atomically
  // with mode 0600, a piece at a time (a failed save leaves the previous file as it was), then,
  // for a library with a scan date, touches the completion marker "<cache path>.complete" (made
  // with mode 0600; a failure there is only logged). False with the record of the step that
  // failed.
  [[nodiscard]] bool save(ErrorRecord* error = nullptr) const;

  // Writes the cache layout; false with the stream's record.
  [[nodiscard]] bool writeToStream(BufferedOutputStream& stream,
                                   ErrorRecord* error = nullptr) const;
  // Replaces the records and scan date with the ones the stream holds. Fails with
  // "PhotoLibraryErrorDomain" -1 "invalid PhotoLibrary version %u; expected %u", or with the
  // record of the photo record that could not be read (the records read before it stay). Bytes
  // after the last field are ignored.
  [[nodiscard]] bool loadFromStream(BufferedInputStream& stream, ErrorRecord* error = nullptr);

 private:
  // Lets the cache loaders use make_shared with a constructor no one else can call.
  struct CacheFileTag {
    explicit CacheFileTag() = default;
  };

 public:
  PhotoLibrary(CacheFileTag, std::string iPhotoLibraryPath, std::string cachePath);

 private:
  static constexpr std::size_t kScanDateSize = 8;
  // Writes only the scan date into the cache file when the rest of it holds what a save would
  // write; false when it does not, when the file is not one a save could leave, or when the
  // write fails (a full save then replaces the file).
  bool rewriteScanDate() const;

  using PhotoSink = std::function<void(std::shared_ptr<Photo>)>;
  // Hands each record of the stream to `put` in file order and keeps the scan date.
  bool readCache(BufferedInputStream& stream, const PhotoSink& put, ErrorRecord* error);
  // The stream over the cache file, or null when there is none (a first run) or on failure.
  static std::optional<BufferedInputStream> openCache(const std::string& cacheFile, bool* missing,
                                                      ErrorRecord* error);

  std::string iPhotoLibraryPath_;
  std::string cachePath_;
  PhotoMap photosByIPhotoKey_;
  std::optional<Date> scanDate_;
};

}  // namespace twinlens
