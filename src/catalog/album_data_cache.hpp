#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/photo.hpp"
#include "platform/plist_value.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// The bytes of an album data cache that a scan's keys and entries view: a block in memory, or the
// file mapped read-only, whose pages go back to the page cache once the entries on them are read
// (read again, they come back), so a large catalogue is never all in memory beside the records.
class AlbumDataBytes {
 public:
  explicit AlbumDataBytes(Data data);
  // The whole file mapped, or null with "UnixErrorDomain" errno (see openRegularFileForReading).
  static std::shared_ptr<const AlbumDataBytes> mapFile(const std::string& path,
                                                       ErrorRecord* error = nullptr);
  ~AlbumDataBytes();
  AlbumDataBytes(const AlbumDataBytes&) = delete;
  AlbumDataBytes& operator=(const AlbumDataBytes&) = delete;

  const std::uint8_t* data() const { return begin_; }
  std::size_t size() const { return size_; }
  // Lets a mapped file's pages go: those before `offset` that are not let go yet, or, with no
  // offset, all of them, to be read in order again.
  void release(std::optional<std::size_t> offset = std::nullopt) const;

 private:
  Data data_;
  const std::uint8_t* begin_ = nullptr;
  std::size_t size_ = 0;
  void* map_ = nullptr;
  mutable std::size_t released_ = 0;
};

// A catalogue as a scan reads it: the keys of "Master Image List" in ascending order, each with
// where its entry is, and the rest of the tree (the rolls, the albums) as it is. An entry is read
// into its PhotoEntry only when asked for, so a library's entries are never all held at once;
// keys and entries view the texts of `tree` or of `bytes`, which it keeps.
struct ScannedAlbumData {
  struct Image {
    std::string_view key;
    // Where the entry's value starts in `bytes`; without bytes, its place in the tree's list.
    std::size_t at = 0;
  };
  using Images = std::vector<Image>;

  PListValue tree = PListValue::null();
  std::shared_ptr<const AlbumDataBytes> bytes;
  // Absent when "Master Image List" is missing or is no dictionary.
  std::optional<Images> images;

  static ScannedAlbumData fromTree(PListValue root);
  PhotoEntry entry(const Image& image) const;
  // Every image's key and entry, in order.
  std::vector<std::pair<std::string_view, PhotoEntry>> entries() const;
};

// Keeps the part of a library's "AlbumData.xml" that a scan reads (the photos' entries, the
// rolls, the application's own album) in a compact file beside the photo cache, together with
// the catalogue's device, inode, size and modification time. While the catalogue keeps all
// four, a rescan takes the tree from here instead of parsing the whole property list again,
// which is most of the time of a rescan where nothing changed.
class AlbumDataCache {
 public:
  // The file beside the photo cache of the library at `iPhotoLibraryPath`.
  static std::string cachePathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath);

  // The reduced tree: only the keys a scan reads, with their values as they are.
  static PListValue scannedPartOf(const PListValue& root);

  // The stored tree when the catalogue at `albumDataPath` is the one it was taken from; nullopt
  // when it is not, or when there is no usable cache file (then `error` says why).
  static std::optional<ScannedAlbumData> load(const std::string& cachePath,
                                              const std::string& albumDataPath,
                                              ErrorRecord* error = nullptr);
  struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t sec = 0;
    std::int64_t nsec = 0;
    bool operator==(const Identity&) const = default;
  };
  static std::optional<Identity> identityOfFile(const std::string& path,
                                                ErrorRecord* error = nullptr);

  // Stores scannedPartOf(root) for the catalogue that had `identity` when it was read (taken
  // before parsing, so a catalogue replaced meanwhile is parsed again next time). A catalogue
  // changed in the last two seconds is not stored at all.
  [[nodiscard]] static bool save(const std::string& cachePath, const Identity& identity,
                                 const PListValue& root, ErrorRecord* error = nullptr);

  // The file's bytes; decode() is the inverse.
  static Data encode(const Identity& identity, const PListValue& tree);
  // Fails with "AlbumDataCacheErrorDomain" -1 on any malformed input.
  static std::optional<PListValue> decode(const std::uint8_t* bytes, std::size_t length,
                                          Identity* identity, ErrorRecord* error = nullptr);
  // The same file read straight into its scanned form, never a tree of the image list: it
  // refuses exactly what decode() refuses, with the same records.
  static std::optional<ScannedAlbumData> decodeScanned(std::shared_ptr<const AlbumDataBytes> bytes,
                                                       Identity* identity,
                                                       ErrorRecord* error = nullptr);

  static const char* errorDomain() { return "AlbumDataCacheErrorDomain"; }
  // Its codes: the cache file is damaged or of another version; the catalogue changed since.
  static constexpr std::int32_t kDamagedError = -1;
  static constexpr std::int32_t kChangedError = -2;
};

}  // namespace twinlens
