#include "catalog/album_data_cache.hpp"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>

#include "catalog/album_data_codec.hpp"
#include "catalog/photo_library.hpp"
#include "io/atomic_file.hpp"
#include "io/file_helpers.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr std::uint32_t kVersion = 1;
constexpr std::int64_t kSettledSeconds = 2;
// A mapped cache lets its read pages go this many bytes at a time (a multiple of any page size).
constexpr std::size_t kReleaseStep = 1 << 20;
constexpr std::string_view kImageList = "Master Image List";
constexpr std::array kEntryKeys{"ImagePath", "OriginalPath", "ThumbPath",    "Caption",
                                "Comment",   "ImageType",    "Aspect Ratio", "DateAsTimerInterval",
                                "Roll"};
constexpr std::array kRollKeys{"RollID", "RollName", "AlbumId", "AlbumName"};

template <std::size_t N>
PListValue keepKeys(const PListValue& value, const std::array<const char*, N>& keys) {
  if (!value.dictionaryValue()) return value;
  PListValue::Dictionary::Entries kept;
  for (const char* key : keys)
    if (const PListValue* found = value.objectForKey(key)) kept.emplace_back(key, *found);
  return PListValue::dictionary(PListValue::Dictionary(std::move(kept)));
}

PListValue scannedImages(const PListValue& list) {
  const PListValue::Dictionary* images = list.dictionaryValue();
  if (!images) return list;
  PListValue::Dictionary::Entries kept;
  kept.reserve(images->size());
  for (const auto& [key, entry] : *images) kept.emplace_back(key, keepKeys(entry, kEntryKeys));
  return PListValue::dictionary(PListValue::Dictionary(std::move(kept)));
}

PListValue scannedRolls(const PListValue& list) {
  const PListValue::Array* rolls = list.arrayValue();
  if (!rolls) return list;
  PListValue::Array kept;
  kept.reserve(rolls->size());
  for (const PListValue& roll : *rolls) kept.push_back(keepKeys(roll, kRollKeys));
  return PListValue::array(std::move(kept));
}

// Only the application's own album matters to a scan; the others can be many and large.
PListValue scannedAlbums(const PListValue& list) {
  const PListValue::Array* albums = list.arrayValue();
  if (!albums) return list;
  const std::string ownName = TwinlensApp::duplicatesAlbumName();
  PListValue::Array kept;
  for (const PListValue& album : *albums) {
    const PListValue* name = album.objectForKey("AlbumName");
    if (name && name->textValue() && *name->textValue() == ownName)
      kept.push_back(keepKeys(album, std::array{"AlbumName", "KeyList"}));
  }
  return PListValue::array(std::move(kept));
}

bool readVersion(AlbumDataDecoder& decoder, ErrorRecord* error) {
  std::uint32_t version = 0;
  if (decoder.magic() && decoder.number(&version) && version == kVersion) return true;
  TL_SET_ERROR(error, &typeid(AlbumDataCache), AlbumDataCache::errorDomain(),
               AlbumDataCache::kDamagedError, "not an album data cache of version %u", kVersion);
  return false;
}

bool readIdentity(AlbumDataDecoder& decoder, AlbumDataCache::Identity* read) {
  return decoder.number(&read->device) && decoder.number(&read->inode) &&
         decoder.number(&read->size) && decoder.number(&read->sec) && decoder.number(&read->nsec);
}

}  // namespace

AlbumDataBytes::AlbumDataBytes(Data data)
    : data_(std::move(data)), begin_(data_.data()), size_(data_.size()) {}

std::shared_ptr<const AlbumDataBytes> AlbumDataBytes::mapFile(const std::string& path,
                                                              ErrorRecord* error) {
  const int fd = openRegularFileForReading(path, 0, error);
  if (fd < 0) return nullptr;
  // The size is the open file's own, so no page is mapped past its end.
  struct stat info {};
  const bool sized = ::fstat(fd, &info) == 0;
  int err = errno;
  void* map = MAP_FAILED;
  if (sized && info.st_size > 0) {
    map = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    err = errno;
  }
  ::close(fd);
  if (!sized || (info.st_size > 0 && map == MAP_FAILED)) {
    TL_SET_UNIX_ERROR(error, &typeid(AlbumDataBytes), err, "%s: %s", path.c_str(),
                      std::strerror(err));
    return nullptr;
  }
  auto bytes = std::make_shared<AlbumDataBytes>(Data());
  if (map != MAP_FAILED) {
    bytes->map_ = map;
    bytes->begin_ = static_cast<const std::uint8_t*>(map);
    bytes->size_ = static_cast<std::size_t>(info.st_size);
  }
  return bytes;
}

AlbumDataBytes::~AlbumDataBytes() {
  if (map_) ::munmap(map_, size_);
}

void AlbumDataBytes::release(std::optional<std::size_t> offset) const {
  if (!map_) return;
  if (!offset) {
    ::madvise(map_, size_, MADV_DONTNEED);
    released_ = 0;
    return;
  }
  const std::size_t end = *offset / kReleaseStep * kReleaseStep;
  if (end <= released_) return;
  ::madvise(static_cast<std::uint8_t*>(map_) + released_, end - released_, MADV_DONTNEED);
  released_ = end;
}

ScannedAlbumData ScannedAlbumData::fromTree(PListValue root) {
  ScannedAlbumData scanned;
  scanned.tree = std::move(root);
  const PListValue* list = scanned.tree.objectForKey(kImageList);
  if (const PListValue::Dictionary* images = list ? list->dictionaryValue() : nullptr) {
    scanned.images.emplace();
    scanned.images->reserve(images->size());
    for (const auto& [key, entry] : *images)
      scanned.images->push_back({key, scanned.images->size()});
  }
  return scanned;
}

PhotoEntry ScannedAlbumData::entry(const Image& image) const {
  if (bytes) {
    PhotoEntry entry = AlbumDataDecoder::entryAt(bytes->data(), bytes->size(), image.at);
    bytes->release(image.at);
    return entry;
  }
  return PhotoEntry::fromPlist(
      (tree.objectForKey(kImageList)->dictionaryValue()->begin() + image.at)->second);
}

std::vector<std::pair<std::string_view, PhotoEntry>> ScannedAlbumData::entries() const {
  std::vector<std::pair<std::string_view, PhotoEntry>> all;
  if (images)
    for (const Image& image : *images) all.emplace_back(image.key, entry(image));
  return all;
}

std::string AlbumDataCache::cachePathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath) {
  std::string photoCache = PhotoLibrary::cachePathForIPhotoLibraryPath(iPhotoLibraryPath);
  return photoCache.substr(0, photoCache.rfind('/') + 1) + "albumData.dat";
}

PListValue AlbumDataCache::scannedPartOf(const PListValue& root) {
  if (!root.dictionaryValue()) return root;
  PListValue::Dictionary::Entries kept;
  if (const PListValue* images = root.objectForKey("Master Image List"))
    kept.emplace_back("Master Image List", scannedImages(*images));
  if (const PListValue* rolls = root.objectForKey("List of Rolls"))
    kept.emplace_back("List of Rolls", scannedRolls(*rolls));
  if (const PListValue* albums = root.objectForKey("List of Albums"))
    kept.emplace_back("List of Albums", scannedAlbums(*albums));
  return PListValue::dictionary(PListValue::Dictionary(std::move(kept)));
}

std::optional<AlbumDataCache::Identity> AlbumDataCache::identityOfFile(const std::string& path,
                                                                       ErrorRecord* error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, &typeid(AlbumDataCache), err, "%s: %s", path.c_str(),
                      std::strerror(err));
    return std::nullopt;
  }
  Identity identity;
  identity.device = static_cast<std::uint64_t>(info.st_dev);
  identity.inode = static_cast<std::uint64_t>(info.st_ino);
  identity.size = static_cast<std::uint64_t>(info.st_size);
  identity.sec = static_cast<std::int64_t>(info.st_mtim.tv_sec);
  identity.nsec = static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  return identity;
}

Data AlbumDataCache::encode(const Identity& identity, const PListValue& tree) {
  Data out(AlbumDataDecoder::kMagic.begin(), AlbumDataDecoder::kMagic.end());
  AlbumDataEncoder encoder(out);
  encoder.number(kVersion);
  for (std::uint64_t field : {identity.device, identity.inode, identity.size})
    encoder.number(field);
  encoder.number(identity.sec);
  encoder.number(identity.nsec);
  encoder.value(tree);
  return out;
}

std::optional<PListValue> AlbumDataCache::decode(const std::uint8_t* bytes, std::size_t length,
                                                 Identity* identity, ErrorRecord* error) {
  AlbumDataDecoder decoder(bytes, length);
  Identity read;
  if (!readVersion(decoder, error)) return std::nullopt;
  std::optional<PListValue> tree;
  if (readIdentity(decoder, &read)) tree = decoder.value(0);
  if (!tree || decoder.remaining() != 0) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), kDamagedError,
                 "album data cache is damaged");
    return std::nullopt;
  }
  if (identity) *identity = read;
  return tree;
}

std::optional<ScannedAlbumData> AlbumDataCache::decodeScanned(
    std::shared_ptr<const AlbumDataBytes> bytes, Identity* identity, ErrorRecord* error) {
  AlbumDataDecoder decoder(bytes->data(), bytes->size());
  Identity read;
  if (!readVersion(decoder, error)) return std::nullopt;
  std::optional<ScannedAlbumData> scanned;
  if (readIdentity(decoder, &read)) scanned = decoder.scannedRoot();
  if (!scanned || decoder.remaining() != 0) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), kDamagedError,
                 "album data cache is damaged");
    return std::nullopt;
  }
  if (identity) *identity = read;
  scanned->bytes = std::move(bytes);
  return scanned;
}

std::optional<ScannedAlbumData> AlbumDataCache::load(const std::string& cachePath,
                                                     const std::string& albumDataPath,
                                                     ErrorRecord* error) {
  std::optional<Identity> current = identityOfFile(albumDataPath, error);
  if (!current) return std::nullopt;
  std::optional<Identity> stored = identityOfFile(cachePath, error);
  if (!stored) return std::nullopt;
  std::shared_ptr<const AlbumDataBytes> bytes = AlbumDataBytes::mapFile(cachePath, error);
  if (!bytes) return std::nullopt;
  Identity identity;
  std::optional<ScannedAlbumData> scanned = decodeScanned(bytes, &identity, error);
  if (!scanned) return std::nullopt;
  // Checked whole, the file's pages go until its entries are read one by one.
  bytes->release();
  if (identity != *current) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), kChangedError, "%s has changed",
                 albumDataPath.c_str());
    return std::nullopt;
  }
  return scanned;
}

bool AlbumDataCache::save(const std::string& cachePath, const Identity& identity,
                          const PListValue& root, ErrorRecord* error) {
  // File times advance in clock ticks, so a catalogue rewritten in place within the tick of its
  // last change could keep all four facts. One changed that recently is not stored; the next
  // scan parses it again and stores it then, when any later write would show.
  if (identity.sec > static_cast<std::int64_t>(std::time(nullptr)) - kSettledSeconds) {
    TL_LOG_DEBUG(&typeid(AlbumDataCache), "%s", "not storing a catalogue changed just now");
    return true;
  }
  if (!ensureParentPathExistsForPath(cachePath, PhotoLibrary::kCacheFolderMode, error))
    return false;
  return writeDataAtomically(cachePath, encode(identity, scannedPartOf(root)),
                             PhotoLibrary::kCacheFileMode, error);
}

}  // namespace twinlens
