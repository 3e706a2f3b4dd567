#include "catalog/album_data_cache.hpp"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string_view>

#include "catalog/photo_library.hpp"
#include "io/atomic_file.hpp"
#include "io/file_helpers.hpp"
#include "io/file_input_stream.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr std::string_view kMagic = "TLAD";
constexpr std::uint32_t kVersion = 1;
constexpr int kMaxDepth = 64;
constexpr std::int64_t kSettledSeconds = 2;

constexpr std::array kEntryKeys{"ImagePath", "OriginalPath", "ThumbPath",    "Caption",
                                "Comment",   "ImageType",    "Aspect Ratio", "DateAsTimerInterval",
                                "Roll"};
constexpr std::array kRollKeys{"RollID", "RollName", "AlbumId", "AlbumName"};

template <std::size_t N>
AlbumValue keepKeys(const AlbumValue& value, const std::array<const char*, N>& keys) {
  if (!value.dictionaryValue()) return value;
  AlbumValue::Dictionary::Entries kept;
  for (const char* key : keys)
    if (const AlbumValue* found = value.objectForKey(key)) kept.emplace_back(key, *found);
  return AlbumValue::dictionary(AlbumValue::Dictionary(std::move(kept)));
}

AlbumValue scannedImages(const AlbumValue& list) {
  const AlbumValue::Dictionary* images = list.dictionaryValue();
  if (!images) return list;
  AlbumValue::Dictionary::Entries kept;
  kept.reserve(images->size());
  for (const auto& [key, entry] : *images) kept.emplace_back(key, keepKeys(entry, kEntryKeys));
  return AlbumValue::dictionary(AlbumValue::Dictionary(std::move(kept)));
}

AlbumValue scannedRolls(const AlbumValue& list) {
  const AlbumValue::Array* rolls = list.arrayValue();
  if (!rolls) return list;
  AlbumValue::Array kept;
  kept.reserve(rolls->size());
  for (const AlbumValue& roll : *rolls) kept.push_back(keepKeys(roll, kRollKeys));
  return AlbumValue::array(std::move(kept));
}

// Only the application's own album matters to a scan; the others can be many and large.
AlbumValue scannedAlbums(const AlbumValue& list) {
  const AlbumValue::Array* albums = list.arrayValue();
  if (!albums) return list;
  const std::string ownName = TwinlensApp::duplicatesAlbumName();
  AlbumValue::Array kept;
  for (const AlbumValue& album : *albums) {
    const AlbumValue* name = album.objectForKey("AlbumName");
    if (name && name->textValue() && *name->textValue() == ownName)
      kept.push_back(keepKeys(album, std::array{"AlbumName", "KeyList"}));
  }
  return AlbumValue::array(std::move(kept));
}

class Encoder {
 public:
  explicit Encoder(Data& out) : out_(out) {}

  template <typename T>
  void number(T value) {
    append(&value, sizeof(T));
  }
  void bytes(const void* data, std::size_t length) {
    number(static_cast<std::uint32_t>(length));
    append(data, length);
  }
  void text(std::string_view value) { bytes(value.data(), value.size()); }

  void value(const AlbumValue& value) {
    switch (value.type()) {
      case AlbumValue::Type::Dictionary:
        tag('d', value.dictionaryValue()->size());
        for (const auto& [key, entry] : *value.dictionaryValue()) {
          text(key);
          this->value(entry);
        }
        break;
      case AlbumValue::Type::Array:
        tag('a', value.arrayValue()->size());
        for (const AlbumValue& item : *value.arrayValue()) this->value(item);
        break;
      case AlbumValue::Type::Text:
        out_.push_back('t');
        text(*value.textValue());
        break;
      case AlbumValue::Type::Integer:
        out_.push_back('i');
        number(*value.integerValue());
        break;
      case AlbumValue::Type::Real:
        out_.push_back('r');
        number(*value.realValue());
        break;
      case AlbumValue::Type::Boolean:
        out_.push_back(*value.booleanValue() ? 'T' : 'F');
        break;
      case AlbumValue::Type::Date:
        out_.push_back('D');
        number(value.dateValue()->timeIntervalSinceReferenceDate());
        break;
      case AlbumValue::Type::Data:
        out_.push_back('x');
        bytes(value.dataValue()->data(), value.dataValue()->size());
        break;
      case AlbumValue::Type::Null:
        out_.push_back('n');
        break;
    }
  }

 private:
  void append(const void* data, std::size_t length) {
    if (length == 0) return;
    std::size_t at = out_.size();
    out_.resize(at + length);
    std::memcpy(out_.data() + at, data, length);
  }
  void tag(char kind, std::size_t count) {
    out_.push_back(static_cast<std::uint8_t>(kind));
    number(static_cast<std::uint32_t>(count));
  }

  Data& out_;
};

class Decoder {
 public:
  Decoder(const std::uint8_t* bytes, std::size_t length) : at_(bytes), end_(bytes + length) {}

  template <typename T>
  bool number(T* value) {
    if (remaining() < sizeof(T)) return false;
    std::memcpy(value, at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  bool text(std::string* value) {
    std::uint32_t length = 0;
    if (!number(&length) || remaining() < length) return false;
    value->assign(reinterpret_cast<const char*>(at_), length);
    at_ += length;
    return true;
  }
  bool magic() {
    if (remaining() < kMagic.size() || std::memcmp(at_, kMagic.data(), kMagic.size()) != 0)
      return false;
    at_ += kMagic.size();
    return true;
  }
  std::size_t remaining() const { return static_cast<std::size_t>(end_ - at_); }

  std::optional<AlbumValue> value(int depth) {
    if (depth > kMaxDepth || remaining() < 1) return std::nullopt;
    switch (*at_++) {
      case 'd':
        return dictionary(depth);
      case 'a':
        return array(depth);
      case 't':
        return scalar<std::string>(&AlbumValue::text);
      case 'i':
        return scalar<std::int64_t>(&AlbumValue::integer);
      case 'r':
        return scalar<double>(&AlbumValue::real);
      case 'T':
        return AlbumValue::boolean(true);
      case 'F':
        return AlbumValue::boolean(false);
      case 'n':
        return AlbumValue::null();
      case 'D': {
        double seconds = 0;
        if (!number(&seconds)) return std::nullopt;
        return AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(seconds));
      }
      case 'x': {
        std::string bytes;
        if (!text(&bytes)) return std::nullopt;
        return AlbumValue::data(Data(bytes.begin(), bytes.end()));
      }
      default:
        return std::nullopt;
    }
  }

 private:
  template <typename T, typename Make>
  std::optional<AlbumValue> scalar(Make make) {
    T value{};
    bool read;
    if constexpr (std::is_same_v<T, std::string>)
      read = text(&value);
    else
      read = number(&value);
    if (!read) return std::nullopt;
    return make(std::move(value));
  }

  // Every item takes at least one byte, so a count beyond what is left is malformed; checking
  // first keeps a forged count from reserving memory.
  bool count(std::uint32_t* value, std::size_t leastItemSize) {
    return number(value) && *value <= remaining() / leastItemSize;
  }

  std::optional<AlbumValue> dictionary(int depth) {
    std::uint32_t size = 0;
    if (!count(&size, 5)) return std::nullopt;
    AlbumValue::Dictionary::Entries entries;
    entries.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
      std::string key;
      if (!text(&key)) return std::nullopt;
      std::optional<AlbumValue> entry = value(depth + 1);
      if (!entry) return std::nullopt;
      entries.emplace_back(std::move(key), std::move(*entry));
    }
    return AlbumValue::dictionary(AlbumValue::Dictionary(std::move(entries)));
  }

  std::optional<AlbumValue> array(int depth) {
    std::uint32_t size = 0;
    if (!count(&size, 1)) return std::nullopt;
    AlbumValue::Array items;
    items.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
      std::optional<AlbumValue> item = value(depth + 1);
      if (!item) return std::nullopt;
      items.push_back(std::move(*item));
    }
    return AlbumValue::array(std::move(items));
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

}  // namespace

std::string AlbumDataCache::cachePathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath) {
  std::string photoCache = PhotoLibrary::cachePathForIPhotoLibraryPath(iPhotoLibraryPath);
  return photoCache.substr(0, photoCache.rfind('/') + 1) + "albumData.dat";
}

AlbumValue AlbumDataCache::scannedPartOf(const AlbumValue& root) {
  if (!root.dictionaryValue()) return root;
  AlbumValue::Dictionary::Entries kept;
  if (const AlbumValue* images = root.objectForKey("Master Image List"))
    kept.emplace_back("Master Image List", scannedImages(*images));
  if (const AlbumValue* rolls = root.objectForKey("List of Rolls"))
    kept.emplace_back("List of Rolls", scannedRolls(*rolls));
  if (const AlbumValue* albums = root.objectForKey("List of Albums"))
    kept.emplace_back("List of Albums", scannedAlbums(*albums));
  return AlbumValue::dictionary(AlbumValue::Dictionary(std::move(kept)));
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

Data AlbumDataCache::encode(const Identity& identity, const AlbumValue& tree) {
  Data out(kMagic.begin(), kMagic.end());
  Encoder encoder(out);
  encoder.number(kVersion);
  for (std::uint64_t field : {identity.device, identity.inode, identity.size})
    encoder.number(field);
  encoder.number(identity.sec);
  encoder.number(identity.nsec);
  encoder.value(tree);
  return out;
}

std::optional<AlbumValue> AlbumDataCache::decode(const std::uint8_t* bytes, std::size_t length,
                                                 Identity* identity, ErrorRecord* error) {
  Decoder decoder(bytes, length);
  std::uint32_t version = 0;
  Identity read;
  if (!decoder.magic() || !decoder.number(&version) || version != kVersion) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), -1,
                 "not an album data cache of version %u", kVersion);
    return std::nullopt;
  }
  std::optional<AlbumValue> tree;
  if (decoder.number(&read.device) && decoder.number(&read.inode) && decoder.number(&read.size) &&
      decoder.number(&read.sec) && decoder.number(&read.nsec))
    tree = decoder.value(0);
  if (!tree || decoder.remaining() != 0) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), -1, "album data cache is damaged");
    return std::nullopt;
  }
  if (identity) *identity = read;
  return tree;
}

std::optional<AlbumValue> AlbumDataCache::load(const std::string& cachePath,
                                               const std::string& albumDataPath,
                                               ErrorRecord* error) {
  std::optional<Identity> current = identityOfFile(albumDataPath, error);
  if (!current) return std::nullopt;
  std::optional<Identity> stored = identityOfFile(cachePath, error);
  if (!stored) return std::nullopt;
  FileInputStream file(cachePath, 0, stored->size);
  std::optional<Data> bytes = file.slurp(error);
  if (!bytes) return std::nullopt;
  Identity identity;
  std::optional<AlbumValue> tree = decode(bytes->data(), bytes->size(), &identity, error);
  if (!tree) return std::nullopt;
  if (identity != *current) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), -2, "%s has changed",
                 albumDataPath.c_str());
    return std::nullopt;
  }
  return tree;
}

bool AlbumDataCache::save(const std::string& cachePath, const Identity& identity,
                          const AlbumValue& root, ErrorRecord* error) {
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
