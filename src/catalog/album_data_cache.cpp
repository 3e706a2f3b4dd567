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

  void value(const PListValue& value) {
    switch (value.type()) {
      case PListValue::Type::Dictionary:
        tag('d', value.dictionaryValue()->size());
        for (const auto& [key, entry] : *value.dictionaryValue()) {
          text(key);
          this->value(entry);
        }
        break;
      case PListValue::Type::Array:
        tag('a', value.arrayValue()->size());
        for (const PListValue& item : *value.arrayValue()) this->value(item);
        break;
      case PListValue::Type::Text:
        out_.push_back('t');
        text(*value.textValue());
        break;
      case PListValue::Type::Integer:
        out_.push_back('i');
        number(*value.integerValue());
        break;
      case PListValue::Type::Real:
        out_.push_back('r');
        number(*value.realValue());
        break;
      case PListValue::Type::Boolean:
        out_.push_back(*value.booleanValue() ? 'T' : 'F');
        break;
      case PListValue::Type::Date:
        out_.push_back('D');
        number(value.dateValue()->timeIntervalSinceReferenceDate());
        break;
      case PListValue::Type::Data:
        out_.push_back('x');
        bytes(value.dataValue()->data(), value.dataValue()->size());
        break;
      case PListValue::Type::Null:
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

  std::optional<PListValue> value(int depth) {
    if (depth > kMaxDepth || remaining() < 1) return std::nullopt;
    switch (*at_++) {
      case 'd':
        return dictionary(depth);
      case 'a':
        return array(depth);
      case 't':
        return scalar<std::string>(&PListValue::text);
      case 'i':
        return scalar<std::int64_t>(&PListValue::integer);
      case 'r':
        return scalar<double>(&PListValue::real);
      case 'T':
        return PListValue::boolean(true);
      case 'F':
        return PListValue::boolean(false);
      case 'n':
        return PListValue::null();
      case 'D': {
        double seconds = 0;
        if (!number(&seconds)) return std::nullopt;
        return PListValue::date(Date::withTimeIntervalSinceReferenceDate(seconds));
      }
      case 'x': {
        std::string bytes;
        if (!text(&bytes)) return std::nullopt;
        return PListValue::data(Data(bytes.begin(), bytes.end()));
      }
      default:
        return std::nullopt;
    }
  }

 private:
  template <typename T, typename Make>
  std::optional<PListValue> scalar(Make make) {
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

  std::optional<PListValue> dictionary(int depth) {
    std::uint32_t size = 0;
    if (!count(&size, 5)) return std::nullopt;
    PListValue::Dictionary::Entries entries;
    entries.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
      std::string key;
      if (!text(&key)) return std::nullopt;
      std::optional<PListValue> entry = value(depth + 1);
      if (!entry) return std::nullopt;
      entries.emplace_back(std::move(key), std::move(*entry));
    }
    return PListValue::dictionary(PListValue::Dictionary(std::move(entries)));
  }

  std::optional<PListValue> array(int depth) {
    std::uint32_t size = 0;
    if (!count(&size, 1)) return std::nullopt;
    PListValue::Array items;
    items.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i) {
      std::optional<PListValue> item = value(depth + 1);
      if (!item) return std::nullopt;
      items.push_back(std::move(*item));
    }
    return PListValue::array(std::move(items));
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

}  // namespace

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

std::optional<PListValue> AlbumDataCache::decode(const std::uint8_t* bytes, std::size_t length,
                                                 Identity* identity, ErrorRecord* error) {
  Decoder decoder(bytes, length);
  std::uint32_t version = 0;
  Identity read;
  if (!decoder.magic() || !decoder.number(&version) || version != kVersion) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), -1,
                 "not an album data cache of version %u", kVersion);
    return std::nullopt;
  }
  std::optional<PListValue> tree;
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

std::optional<PListValue> AlbumDataCache::load(const std::string& cachePath,
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
  std::optional<PListValue> tree = decode(bytes->data(), bytes->size(), &identity, error);
  if (!tree) return std::nullopt;
  if (identity != *current) {
    TL_SET_ERROR(error, &typeid(AlbumDataCache), errorDomain(), -2, "%s has changed",
                 albumDataPath.c_str());
    return std::nullopt;
  }
  return tree;
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
