#include "sample/sample_library.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <typeinfo>

#include "sample/jpeg_builder.hpp"
#include "sample/plist_text.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens::sample {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the catalogue's reference date.
constexpr double kReferenceDateOffset = 978307200.0;
// 2004-01-01 00:00:00 UTC, as seconds since the reference date.
constexpr double kFirstRollDate = 94608000.0;
constexpr double kTenYears = 315360000.0;
constexpr double kMaxRollSpacing = 400 * 86400.0;

const char* const kRollNames[] = {
    "Summer Holiday in Provence", "Anna's Birthday Party", "Zürich & Genève by Train",
    "Garden <3 in Spring",        "Snow Day at the Lake",  "Family Dinner at Grandma's",
    "Beach Walk in the Evening",  "Old Town Festival",     "Café Visit with Friends",
    "Mountain Trail Hike",        "First Day at School",   "Harbour Lights at Night",
};
const char* const kComments[] = {"Taken by Anna", "Scanned from a print", "Best of the day",
                                 "Sunset, east side"};
const char* const kKeywords[] = {"Family", "Holiday", "Friends", "Favourite", "Nature"};

const char* const kSpecialCaption =
    "Anna & Ben <at the \"beach\"> \u2014 Z\u00fcrich, \u6771\u4eac \U0001F305";
const char* const kSpecialComment = "a < b && c > d ]]> 'quoted'\nsecond line\tand a tab";

std::uint64_t splitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::size_t below(std::uint64_t& state, std::size_t bound) {
  return bound == 0 ? 0 : static_cast<std::size_t>(splitMix(state) % bound);
}

std::size_t rounded(double fraction, std::size_t count) {
  if (!(fraction > 0)) return 0;
  return static_cast<std::size_t>(std::llround(fraction * static_cast<double>(count)));
}

int yearOf(double dateAsTimerInterval) {
  auto seconds = static_cast<std::time_t>(dateAsTimerInterval + kReferenceDateOffset);
  std::tm fields{};
  ::gmtime_r(&seconds, &fields);
  return fields.tm_year + 1900;
}

std::string guidText(std::uint64_t& state) {
  static const char* digits = "0123456789ABCDEF";
  std::string guid;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) guid += '-';
    guid += digits[splitMix(state) & 15];
  }
  return guid;
}

std::string imageFileName(std::size_t index, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "IMG_%04zu.%s", (index + 1) % 10000, extension);
  return name;
}

bool isCopyKind(SampleKind kind) {
  return kind == SampleKind::ExactCopy || kind == SampleKind::MetadataCopy ||
         kind == SampleKind::Unlisted;
}

bool failUnix(ErrorRecord* error, const std::string& path, int err) {
  TL_SET_UNIX_ERROR(error, &typeid(SampleLibrary), err, "%s: %s", path.c_str(), std::strerror(err));
  return false;
}

bool makeFolders(const std::string& path, ErrorRecord* error) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
      return failUnix(error, prefix, errno);
    if (slash == std::string::npos) return true;
  }
}

// Writes a file whole with plain POSIX calls, so every failure keeps its errno.
class FileWriter {
 public:
  FileWriter(std::string path, ErrorRecord* error) : path_(std::move(path)), error_(error) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) fail(errno);
  }
  ~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  void write(const void* bytes, std::size_t length) {
    const char* next = static_cast<const char*>(bytes);
    while (ok_ && length > 0) {
      ssize_t n = ::write(fd_, next, length);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail(errno);
      next += n;
      length -= static_cast<std::size_t>(n);
    }
  }
  bool close() {
    if (fd_ >= 0 && ::close(fd_) != 0 && ok_) fail(errno);
    fd_ = -1;
    return ok_;
  }

 private:
  void fail(int err) {
    if (ok_) failUnix(error_, path_, err);
    ok_ = false;
  }

  std::string path_;
  ErrorRecord* error_;
  int fd_ = -1;
  bool ok_ = true;
};

bool writeFile(const std::string& path, const Data& bytes, ErrorRecord* error) {
  FileWriter file(path, error);
  file.write(bytes.data(), bytes.size());
  return file.close();
}

// Faces as iPhoto records them: which person, and where in the picture.
void writeFaces(PlistText& plist, std::size_t photoIndex) {
  plist.key("Faces");
  plist.open("array");
  for (std::size_t face = 0; face < 1 + photoIndex % 3 / 2; ++face) {
    plist.open("dict");
    plist.key("face key");
    plist.integer(static_cast<std::int64_t>(1 + (photoIndex + face) % 17));
    plist.key("face index");
    plist.integer(static_cast<std::int64_t>(face));
    plist.key("rectangle");
    char rectangle[64];
    std::snprintf(rectangle, sizeof rectangle, "{{0.%03zu, 0.%03zu}, {0.121, 0.161}}",
                  photoIndex % 700, (photoIndex + 7 * face) % 600);
    plist.string(rectangle);
    plist.close("dict");
  }
  plist.close("array");
}

void writeKeyList(PlistText& plist, const std::vector<std::string>& keys) {
  plist.key("KeyList");
  if (keys.empty()) return plist.emptyArray();
  plist.open("array");
  for (const std::string& key : keys) plist.string(key);
  plist.close("array");
}

}  // namespace

const char* nameOfSampleKind(SampleKind kind) {
  switch (kind) {
    case SampleKind::Unique:
      return "unique";
    case SampleKind::ExactCopy:
      return "exact copy";
    case SampleKind::MetadataCopy:
      return "metadata copy";
    case SampleKind::Edited:
      return "edited";
    case SampleKind::EditedAsOther:
      return "edited as other";
    case SampleKind::Missing:
      return "missing";
    case SampleKind::Unlisted:
      return "unlisted";
  }
  return "?";
}

SampleLibrary::SampleLibrary(std::string libraryPath, SampleLibraryOptions options)
    : libraryPath_(std::move(libraryPath)), options_(options) {
  while (libraryPath_.size() > 1 && libraryPath_.back() == '/') libraryPath_.pop_back();
  options_.photosPerRoll = std::max<std::size_t>(1, options_.photosPerRoll);
  random_ = options_.seed * 0x2545F4914F6CDD1Dull + 0x1234567;
  std::vector<SampleKind> kinds;
  planKinds(kinds);
  std::size_t unlisted =
      static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), SampleKind::Unlisted));
  planRolls(kinds.size() - unlisted, unlisted);
  std::size_t listedRoll = 0, positionInRoll = 0, unlistedRoll = rolls_.size() - unlisted;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (kinds[i] == SampleKind::Unlisted) {
      planPhoto(i, kinds[i], rolls_[unlistedRoll++], 0);
      continue;
    }
    if (positionInRoll == options_.photosPerRoll) {
      ++listedRoll;
      positionInRoll = 0;
    }
    planPhoto(i, kinds[i], rolls_[listedRoll], positionInRoll++);
  }
  std::map<std::int64_t, SampleRoll*> rollsById;
  for (SampleRoll& roll : rolls_) rollsById[roll.id] = &roll;
  for (const SamplePhoto& photo : photos_) rollsById[photo.rollId]->keys.push_back(photo.key);
  chooseSources();
  chooseTwinlensAlbum();
}

void SampleLibrary::planKinds(std::vector<SampleKind>& kinds) const {
  const std::size_t n = options_.photoCount;
  const std::pair<SampleKind, std::size_t> counts[] = {
      {SampleKind::ExactCopy, rounded(options_.exactCopyFraction, n)},
      {SampleKind::MetadataCopy, rounded(options_.metadataCopyFraction, n)},
      {SampleKind::Edited, rounded(options_.editedFraction, n)},
      {SampleKind::EditedAsOther, rounded(options_.editedAsOtherFraction, n)},
      {SampleKind::Missing, options_.missingCount},
      {SampleKind::Unlisted, options_.unlistedCount},
  };
  for (const auto& [kind, count] : counts)
    for (std::size_t i = 0; i < count && kinds.size() < n; ++i) kinds.push_back(kind);
  kinds.resize(n, SampleKind::Unique);
  std::uint64_t state = random_;
  for (std::size_t i = n; i > 1; --i) std::swap(kinds[i - 1], kinds[below(state, i)]);
  // The first photo, which carries the special caption, is an ordinary one.
  auto unique = std::find(kinds.begin(), kinds.end(), SampleKind::Unique);
  if (unique != kinds.end()) std::iter_swap(unique, kinds.begin());
}

void SampleLibrary::planRolls(std::size_t listedPhotos, std::size_t unlistedPhotos) {
  const std::size_t perRoll = options_.photosPerRoll;
  const std::size_t listedRolls = std::max<std::size_t>(1, (listedPhotos + perRoll - 1) / perRoll);
  const std::size_t nameCount = std::size(kRollNames);
  const double spacing =
      std::clamp(kTenYears / static_cast<double>(listedRolls), 3600.0, kMaxRollSpacing);
  for (std::size_t r = 0; r < listedRolls + unlistedPhotos; ++r) {
    SampleRoll roll;
    roll.id = static_cast<std::int64_t>(r + 1);
    roll.listed = r < listedRolls;
    if (roll.listed) {
      roll.name = kRollNames[r % nameCount];
      if (r >= nameCount) roll.name += " " + std::to_string(r / nameCount + 1);
    } else {
      roll.id += 1000;
      roll.name = "Unlisted Import " + std::to_string(r - listedRolls + 1);
    }
    roll.dateAsTimerInterval = std::floor(kFirstRollDate + spacing * static_cast<double>(r));
    roll.folder = std::to_string(yearOf(roll.dateAsTimerInterval)) + "/" + roll.name;
    rolls_.push_back(std::move(roll));
  }
}

void SampleLibrary::planPhoto(std::size_t index, SampleKind kind, const SampleRoll& roll,
                              std::size_t positionInRoll) {
  SamplePhoto photo;
  std::uint64_t keyNumber = photos_.empty() ? 1 : std::stoull(photos_.back().key) + 1;
  // Deleted photos leave gaps in iPhoto's numbering.
  if (below(random_, 5) == 0) keyNumber += 1 + below(random_, 3);
  photo.key = std::to_string(keyNumber);
  photo.kind = kind;
  photo.caption = imageFileName(index, "JPG");
  photo.caption.resize(photo.caption.size() - 4);
  if (below(random_, 4) == 0) photo.comment = kComments[index % std::size(kComments)];
  if (index == 0 && options_.specialCaption) {
    photo.caption = kSpecialCaption;
    photo.comment = kSpecialComment;
  }
  const std::string folder = "/" + roll.folder + "/";
  const std::string original = libraryPath_ + "/Originals" + folder + imageFileName(index, "JPG");
  const bool edited = kind == SampleKind::Edited || kind == SampleKind::EditedAsOther;
  if (edited) {
    photo.originalPath = original;
    photo.imagePath = libraryPath_ + "/Modified" + folder + imageFileName(index, "JPG");
  } else {
    photo.imagePath = original;
  }
  photo.thumbPath = libraryPath_ + "/Data" + folder + imageFileName(index, "jpg");
  photo.rollId = roll.id;
  photo.aspectRatio = below(random_, 5) == 0 ? 0.75 : 1.333333;
  photo.dateAsTimerInterval =
      roll.dateAsTimerInterval + 37.0 * static_cast<double>(positionInRoll) + 12.0;
  photo.guid = guidText(random_);
  photo.originalPicture = nextPicture_++;
  if (edited) photo.modifiedPicture = nextPicture_++;
  photo.cameraText = index % 3 == 0 ? "Sample Camera One" : "Sample Camera Two";
  photos_.push_back(std::move(photo));
}

void SampleLibrary::chooseSources() {
  std::vector<std::size_t> unique, copyable;
  for (std::size_t i = 0; i < photos_.size(); ++i) {
    if (photos_[i].kind == SampleKind::Unique) unique.push_back(i);
    if (photos_[i].kind == SampleKind::Unique || photos_[i].kind == SampleKind::Edited)
      copyable.push_back(i);
  }
  for (SamplePhoto& photo : photos_) {
    const std::vector<std::size_t>& pool =
        photo.kind == SampleKind::EditedAsOther ? unique : copyable;
    if (!isCopyKind(photo.kind) && photo.kind != SampleKind::EditedAsOther) continue;
    // With nothing to copy, a copy shows a picture of its own (an unlisted one stays unlisted).
    if (pool.empty()) {
      if (photo.kind == SampleKind::EditedAsOther) photo.kind = SampleKind::Edited;
      if (photo.kind != SampleKind::Unlisted && photo.kind != SampleKind::Edited)
        photo.kind = SampleKind::Unique;
      continue;
    }
    const SamplePhoto& source = photos_[pool[below(random_, pool.size())]];
    photo.source = static_cast<std::size_t>(&source - photos_.data());
    if (photo.kind == SampleKind::EditedAsOther) {
      photo.modifiedPicture = source.originalPicture;
      continue;
    }
    photo.originalPicture = source.originalPicture;
    photo.cameraText = source.cameraText;
    photo.originalComment = source.originalComment;
    if (photo.kind == SampleKind::MetadataCopy) {
      photo.cameraText += ", date retouched 2011:07:04 10:00:00";
      photo.originalComment = "Edited with a metadata tool";
    }
  }
}

void SampleLibrary::chooseTwinlensAlbum() {
  if (!options_.twinlensAlbum) return;
  std::vector<std::string> duplicates = expectedDuplicateKeys();
  for (std::size_t i = 0; i < duplicates.size(); i += 2)
    twinlensAlbumKeys_.push_back(duplicates[i]);
}

const SamplePhoto* SampleLibrary::photoForKey(std::string_view key) const {
  for (const SamplePhoto& photo : photos_)
    if (photo.key == key) return &photo;
  return nullptr;
}

Data SampleLibrary::pictureBytes(std::uint32_t picture, const std::string& cameraText,
                                 const std::optional<std::string>& comment) const {
  // Distinct pictures get distinct seeds four apart, so the three passes of a progressive
  // picture never repeat another picture's data.
  const std::uint32_t seed = (picture + options_.seed * 0x9E3779B1u) * 4u;
  std::uint64_t state = (std::uint64_t{options_.seed} << 32) | picture;
  const double spread = 0.75 + 0.5 * static_cast<double>(splitMix(state) % 1000) / 1000.0;
  const std::size_t size =
      std::max<std::size_t>(16, static_cast<std::size_t>(options_.imageBytes * spread));
  const bool progressive = picture % 7 == 3;
  JpegBuilder jpeg;
  jpeg.startOfImage().jfif().exif(cameraText);
  if (comment) jpeg.comment(*comment);
  jpeg.tables(640, 480, progressive);
  if (!progressive) return jpeg.scan(size, seed).endOfImage().bytes();
  for (std::uint32_t pass = 0; pass < 3; ++pass) {
    if (pass > 0) jpeg.segment(0xC4, Data(29, static_cast<std::uint8_t>(pass)));
    jpeg.scan(size / 3, seed + pass);
  }
  return jpeg.endOfImage().bytes();
}

Data SampleLibrary::originalFileBytes(const SamplePhoto& photo) const {
  return pictureBytes(photo.originalPicture, photo.cameraText, photo.originalComment);
}

Data SampleLibrary::modifiedFileBytes(const SamplePhoto& photo) const {
  if (!photo.modifiedPicture) return {};
  if (photo.kind == SampleKind::EditedAsOther && photo.source)
    return originalFileBytes(photos_[*photo.source]);
  return pictureBytes(*photo.modifiedPicture, photo.cameraText + " (edited)", std::nullopt);
}

Data SampleLibrary::thumbnailBytes(const SamplePhoto& photo) const {
  std::uint32_t picture = photo.modifiedPicture.value_or(photo.originalPicture);
  return JpegBuilder()
      .startOfImage()
      .jfif()
      .tables(160, 120)
      .scan(400, (options_.seed << 20) ^ picture ^ 0x5A5A5A5Au)
      .endOfImage()
      .bytes();
}

bool SampleLibrary::writePhotoFiles(const SamplePhoto& photo, ErrorRecord* error) const {
  auto folderOf = [](const std::string& path) { return path.substr(0, path.rfind('/')); };
  if (!makeFolders(folderOf(photo.thumbPath), error) ||
      !writeFile(photo.thumbPath, thumbnailBytes(photo), error))
    return false;
  if (photo.kind == SampleKind::Missing) return true;
  const std::string& original = photo.originalFile();
  if (!makeFolders(folderOf(original), error) ||
      !writeFile(original, originalFileBytes(photo), error))
    return false;
  if (!photo.originalPath) return true;
  return makeFolders(folderOf(photo.imagePath), error) &&
         writeFile(photo.imagePath, modifiedFileBytes(photo), error);
}

bool SampleLibrary::write(ErrorRecord* error) const {
  if (!makeFolders(libraryPath_, error)) return false;
  if (options_.writeImages)
    for (const SamplePhoto& photo : photos_)
      if (!writePhotoFiles(photo, error)) return false;
  return writeAlbumData(error);
}

bool SampleLibrary::writeAlbumData(ErrorRecord* error) const {
  if (!makeFolders(libraryPath_, error)) return false;
  FileWriter file(albumDataPath(), error);
  writeAlbumDataTo([&file](std::string_view piece) { file.write(piece.data(), piece.size()); });
  return file.close();
}

std::string SampleLibrary::albumDataXML() const {
  std::string text;
  writeAlbumDataTo([&text](std::string_view piece) { text.append(piece); });
  return text;
}

void SampleLibrary::writeAlbumDataTo(const std::function<void(std::string_view)>& sink) const {
  PlistText plist(sink);
  plist.open("dict");
  plist.key("Application Version");
  plist.string("8.1.2 (424)");
  plist.key("Archive Path");
  plist.string(libraryPath_);
  plist.key("Major Version");
  plist.integer(2);
  plist.key("Minor Version");
  plist.integer(0);
  plist.key("List of Keywords");
  plist.open("dict");
  for (std::size_t i = 0; i < std::size(kKeywords); ++i) {
    plist.key(std::to_string(i + 1));
    plist.string(kKeywords[i]);
  }
  plist.close("dict");
  writeImageList(plist);
  writeRollList(plist);
  writeAlbumList(plist);
  plist.close("dict");
  plist.finish();
}

void SampleLibrary::writeImageList(PlistText& plist) const {
  plist.key("Master Image List");
  plist.open("dict");
  for (std::size_t i = 0; i < photos_.size(); ++i) {
    const SamplePhoto& photo = photos_[i];
    plist.key(photo.key);
    plist.open("dict");
    plist.key("MediaType");
    plist.string("Image");
    plist.key("Caption");
    plist.string(photo.caption);
    plist.key("Comment");
    plist.string(photo.comment);
    plist.key("GUID");
    plist.string(photo.guid);
    plist.key("Roll");
    plist.integer(photo.rollId);
    plist.key("Rating");
    plist.integer(static_cast<std::int64_t>(i % 6));
    plist.key("ImagePath");
    plist.string(photo.imagePath);
    if (photo.originalPath) {
      plist.key("OriginalPath");
      plist.string(*photo.originalPath);
    }
    plist.key("ThumbPath");
    plist.string(photo.thumbPath);
    plist.key("ImageType");
    plist.string("JPEG");
    plist.key("ModDateAsTimerInterval");
    plist.real(photo.dateAsTimerInterval + 86400.0 * static_cast<double>(i % 40));
    plist.key("DateAsTimerInterval");
    plist.real(photo.dateAsTimerInterval);
    plist.key("DateAsTimerIntervalGMT");
    plist.real(photo.dateAsTimerInterval - 3600.0);
    plist.key("MetaModDateAsTimerInterval");
    plist.real(photo.dateAsTimerInterval + 86400.0 * static_cast<double>(i % 40) + 7.5);
    plist.key("Aspect Ratio");
    plist.real(photo.aspectRatio);
    if (i % 3 == 0) {
      plist.key("latitude");
      plist.real(47.0 + static_cast<double>(i % 1000) / 1000.0);
      plist.key("longitude");
      plist.real(8.0 + static_cast<double>(i % 997) / 997.0);
    }
    if (i % 2 == 1) writeFaces(plist, i);
    plist.key("Keywords");
    if (i % 4 == 0) {
      plist.emptyArray();
    } else {
      plist.open("array");
      for (std::size_t k = 0; k < i % 4; ++k)
        plist.string(std::to_string(1 + (i + k) % std::size(kKeywords)));
      plist.close("array");
    }
    plist.close("dict");
  }
  plist.close("dict");
}

void SampleLibrary::writeRollList(PlistText& plist) const {
  plist.key("List of Rolls");
  plist.open("array");
  for (const SampleRoll& roll : rolls_) {
    if (!roll.listed) continue;
    plist.open("dict");
    plist.key("RollID");
    plist.integer(roll.id);
    plist.key("RollName");
    plist.string(roll.name);
    plist.key("RollDateAsTimerInterval");
    plist.real(roll.dateAsTimerInterval);
    plist.key("KeyPhotoKey");
    plist.string(roll.keys.empty() ? "" : roll.keys.front());
    plist.key("PhotoCount");
    plist.integer(static_cast<std::int64_t>(roll.keys.size()));
    writeKeyList(plist, roll.keys);
    plist.close("dict");
  }
  plist.close("array");
}

void SampleLibrary::writeAlbumList(PlistText& plist) const {
  std::vector<std::string> allKeys;
  for (const SamplePhoto& photo : photos_) allKeys.push_back(photo.key);
  auto album = [&](std::int64_t id, const std::string& name, const std::vector<std::string>& keys,
                   bool master) {
    plist.open("dict");
    plist.key("AlbumId");
    plist.integer(id);
    plist.key("AlbumName");
    plist.string(name);
    if (master) {
      plist.key("Master");
      plist.boolean(true);
    } else {
      plist.key("Album Type");
      plist.string("Regular");
      plist.key("Parent");
      plist.integer(999000);
    }
    plist.key("PhotoCount");
    plist.integer(static_cast<std::int64_t>(keys.size()));
    writeKeyList(plist, keys);
    plist.close("dict");
  };
  plist.key("List of Albums");
  plist.open("array");
  album(999000, "Library", allKeys, true);
  std::vector<std::string> recent(allKeys.end() - static_cast<std::ptrdiff_t>(allKeys.size() / 8),
                                  allKeys.end());
  album(999001, "Last 12 Months", recent, false);
  if (options_.twinlensAlbum)
    album(1001, TwinlensApp::duplicatesAlbumName(), twinlensAlbumKeys_, false);
  plist.close("array");
}

std::vector<std::string> SampleLibrary::expectedScannedKeys() const {
  std::set<std::int64_t> listed;
  for (const SampleRoll& roll : rolls_)
    if (roll.listed) listed.insert(roll.id);
  std::vector<std::string> keys;
  for (const SamplePhoto& photo : photos_)
    if (photo.kind != SampleKind::Missing && listed.count(photo.rollId)) keys.push_back(photo.key);
  return keys;
}

std::vector<std::vector<std::string>> SampleLibrary::expectedDuplicateSets() const {
  std::vector<std::string> keys = expectedScannedKeys();
  std::sort(keys.begin(), keys.end());
  std::map<std::string_view, const SamplePhoto*> byKey;
  for (const SamplePhoto& photo : photos_) byKey[photo.key] = &photo;
  auto picturesOf = [](const SamplePhoto& photo) {
    std::vector<std::uint32_t> pictures{photo.originalPicture};
    if (photo.modifiedPicture) pictures.push_back(*photo.modifiedPicture);
    return pictures;
  };
  std::vector<std::vector<std::string>> sets;
  // For each picture, the earliest-made set holding it.
  std::map<std::uint32_t, std::size_t> firstSetWith;
  auto addToSet = [&](std::size_t set, const SamplePhoto& photo) {
    sets[set].push_back(photo.key);
    for (std::uint32_t p : picturesOf(photo)) {
      auto [it, added] = firstSetWith.emplace(p, set);
      if (!added) it->second = std::min(it->second, set);
    }
  };
  std::map<std::uint32_t, const SamplePhoto*> unmatched;
  for (const std::string& key : keys) {
    const SamplePhoto& photo = *byKey[key];
    std::vector<std::uint32_t> pictures = picturesOf(photo);
    auto match = std::find_if(pictures.begin(), pictures.end(),
                              [&](std::uint32_t p) { return unmatched.count(p) > 0; });
    if (match == pictures.end()) {
      for (std::uint32_t p : pictures) unmatched.emplace(p, &photo);
      continue;
    }
    auto set = firstSetWith.find(*match);
    if (set != firstSetWith.end()) {
      addToSet(set->second, photo);
      continue;
    }
    sets.emplace_back();
    addToSet(sets.size() - 1, *unmatched[*match]);
    addToSet(sets.size() - 1, photo);
  }
  return sets;
}

std::vector<std::string> SampleLibrary::expectedDuplicateKeys() const {
  std::vector<std::string> keys;
  for (const std::vector<std::string>& set : expectedDuplicateSets())
    keys.insert(keys.end(), set.begin() + 1, set.end());
  return keys;
}

}  // namespace twinlens::sample
