#include "catalog/photo_library.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <typeinfo>

#include "io/atomic_file.hpp"
#include "io/boolean_io.hpp"
#include "io/file_helpers.hpp"
#include "io/file_input_stream.hpp"
#include "io/integer_io.hpp"
#include "platform/user.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "shared/text_format.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

// A save hands the file over in pieces of this size, never holding the whole file of a large
// library on top of its records.
constexpr std::size_t kPieceSize = 1 << 20;

class PieceOutputStream final : public OutputStream {
 public:
  explicit PieceOutputStream(const AtomicFileSink& sink) : sink_(sink) {
    piece_.reserve(kPieceSize);
  }

  std::int64_t write(const std::uint8_t* bytes, std::uint64_t length, ErrorRecord* error) override {
    piece_.insert(piece_.end(), bytes, bytes + length);
    written_ += length;
    if (piece_.size() >= kPieceSize && !flush(error)) return -1;
    return static_cast<std::int64_t>(length);
  }
  // The atomic write keeps the record of a failed write; this one only says where it failed.
  bool flush(ErrorRecord* error) {
    const bool handed = sink_(piece_.data(), piece_.size());
    piece_.clear();
    if (!handed)
      TL_SET_ERROR(error, this, PhotoLibrary::errorDomain(), PhotoLibrary::kWriteFailedError, "%s",
                   "writing the cache failed");
    return handed;
  }
  std::uint64_t bytesWritten() const override { return written_; }
  std::string description() const override { return "<PieceOutputStream>"; }

 private:
  const AtomicFileSink& sink_;
  Data piece_;
  std::uint64_t written_ = 0;
};

// Holds the bytes a save would write up against the cache file as it stands, `limit` bytes of it
// (what follows is not compared), reading the file a piece at a time; the first difference fails
// the write.
class ComparingOutputStream final : public OutputStream {
 public:
  ComparingOutputStream(int fd, std::uint64_t limit) : fd_(fd), limit_(limit) {}

  std::int64_t write(const std::uint8_t* bytes, std::uint64_t length, ErrorRecord* error) override {
    const std::uint64_t compared = written_ < limit_ ? std::min(length, limit_ - written_) : 0;
    for (std::uint64_t done = 0; done < compared;) {
      if (at_ == piece_.size() && !readPiece()) return differ(error);
      const std::uint64_t n = std::min<std::uint64_t>(compared - done, piece_.size() - at_);
      if (std::memcmp(bytes + done, piece_.data() + at_, n) != 0) return differ(error);
      done += n;
      at_ += n;
    }
    written_ += length;
    return static_cast<std::int64_t>(length);
  }
  std::uint64_t bytesWritten() const override { return written_; }
  std::string description() const override { return "<ComparingOutputStream>"; }

 private:
  bool readPiece() {
    piece_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, limit_ - readTo_)));
    at_ = 0;
    const ssize_t read = ::pread(fd_, piece_.data(), piece_.size(), static_cast<off_t>(readTo_));
    readTo_ += piece_.size();
    return read == static_cast<ssize_t>(piece_.size());
  }
  std::int64_t differ(ErrorRecord* error) {
    TL_SET_ERROR(error, this, PhotoLibrary::errorDomain(), PhotoLibrary::kWriteFailedError, "%s",
                 "the cache file differs");
    return -1;
  }

  int fd_;
  std::uint64_t limit_;
  Data piece_;
  std::size_t at_ = 0;
  std::uint64_t readTo_ = 0;
  std::uint64_t written_ = 0;
};

// Whole seconds since the reference date, truncated toward zero. A date before 2001 (a clock set
// wrong) is stored as 0 rather than wrapping to a date in the far future.
std::uint64_t wholeSecondsSinceReferenceDate(const Date& date) {
  double seconds = std::trunc(date.timeIntervalSinceReferenceDate());
  if (!(seconds > 0)) return 0;
  if (seconds >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(seconds);
}

}  // namespace

PhotoLibrary::PhotoLibrary(CacheFileTag, std::string iPhotoLibraryPath, std::string cachePath)
    : iPhotoLibraryPath_(std::move(iPhotoLibraryPath)), cachePath_(std::move(cachePath)) {}

PhotoLibrary::PhotoLibrary(std::string iPhotoLibraryPath,
                           const std::vector<std::shared_ptr<Photo>>& photos,
                           std::optional<Date> scanDate)
    : PhotoLibrary(iPhotoLibraryPath, photos, scanDate,
                   cachePathForIPhotoLibraryPath(iPhotoLibraryPath)) {}

PhotoLibrary::PhotoLibrary(std::string iPhotoLibraryPath,
                           const std::vector<std::shared_ptr<Photo>>& photos,
                           std::optional<Date> scanDate, std::string cachePath)
    : iPhotoLibraryPath_(std::move(iPhotoLibraryPath)),
      cachePath_(std::move(cachePath)),
      scanDate_(scanDate) {
  for (const std::shared_ptr<Photo>& photo : photos) {
    if (!photo) throw ProgrammingError("PhotoLibrary: photo can't be nil");
    // A scan's photos come in key order, so each one goes in at the end without a search.
    photosByIPhotoKey_.insert_or_assign(photosByIPhotoKey_.end(), photo->iPhotoKey(), photo);
  }
}

std::string PhotoLibrary::cachePathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath) {
  return formatText("%s/%s/Data.noindex%s/photoLibrary.dat", User::applicationSupportPath().c_str(),
                    TwinlensApp::appName().c_str(), absoluteNormalPath(iPhotoLibraryPath).c_str());
}

std::string PhotoLibrary::cachePathForFolderPath(const std::string& folderPath) {
  return stringByDeletingLastPathComponent(cachePathForIPhotoLibraryPath(folderPath)) +
         "/folderLibrary.dat";
}

std::string PhotoLibrary::scanLockPathForIPhotoLibraryPath(const std::string& iPhotoLibraryPath) {
  return stringByDeletingLastPathComponent(cachePathForIPhotoLibraryPath(iPhotoLibraryPath)) +
         "/scan.lock";
}

std::shared_ptr<PhotoLibrary> PhotoLibrary::initFromCacheWithIPhotoLibraryPath(
    const std::string& iPhotoLibraryPath, ErrorRecord* error) {
  return initFromCacheWithIPhotoLibraryPath(
      iPhotoLibraryPath, cachePathForIPhotoLibraryPath(iPhotoLibraryPath), error);
}

std::optional<BufferedInputStream> PhotoLibrary::openCache(const std::string& cacheFile,
                                                           bool* missing, ErrorRecord* error) {
  struct stat info;
  *missing = false;
  if (::stat(cacheFile.c_str(), &info) != 0) {
    int err = errno;
    *missing = err == ENOENT || err == ENOTDIR;
    // Anything else (a folder we may not search, say) is a real failure, not a first run.
    if (!*missing)
      TL_SET_UNIX_ERROR(error, &typeid(PhotoLibrary), err, "%s: %s", cacheFile.c_str(),
                        std::strerror(err));
    return std::nullopt;
  }
  return std::optional<BufferedInputStream>(
      std::in_place,
      std::make_shared<FileInputStream>(cacheFile, 0, static_cast<std::uint64_t>(info.st_size)));
}

std::shared_ptr<PhotoLibrary> PhotoLibrary::initFromCacheWithIPhotoLibraryPath(
    const std::string& iPhotoLibraryPath, const std::string& cacheFile, ErrorRecord* error) {
  auto library = std::make_shared<PhotoLibrary>(CacheFileTag(), iPhotoLibraryPath, cacheFile);
  bool missing;
  std::optional<BufferedInputStream> stream = openCache(cacheFile, &missing, error);
  if (!stream) return missing ? library : nullptr;
  if (!library->loadFromStream(*stream, error)) return nullptr;
  return library;
}

std::optional<std::vector<std::shared_ptr<Photo>>> PhotoLibrary::cachedPhotos(
    const std::string& cacheFile, ErrorRecord* error) {
  bool missing;
  std::optional<BufferedInputStream> stream = openCache(cacheFile, &missing, error);
  if (!stream) return missing ? std::optional(std::vector<std::shared_ptr<Photo>>()) : std::nullopt;
  return cachedPhotos(*stream, error);
}

std::optional<std::vector<std::shared_ptr<Photo>>> PhotoLibrary::cachedPhotos(
    BufferedInputStream& stream, ErrorRecord* error) {
  std::vector<std::shared_ptr<Photo>> photos;
  PhotoLibrary library{CacheFileTag(), std::string(), std::string()};
  auto put = [&photos](std::shared_ptr<Photo> photo) { photos.push_back(std::move(photo)); };
  if (!library.readCache(stream, put, error)) return std::nullopt;
  auto byKey = [](const auto& a, const auto& b) { return a->iPhotoKey() < b->iPhotoKey(); };
  auto notAscending = [](const auto& a, const auto& b) { return a->iPhotoKey() >= b->iPhotoKey(); };
  if (std::adjacent_find(photos.begin(), photos.end(), notAscending) == photos.end()) return photos;
  // Files this program writes are in order already; any other keeps the last of equal keys.
  std::stable_sort(photos.begin(), photos.end(), byKey);
  std::vector<std::shared_ptr<Photo>> kept;
  for (std::size_t i = 0; i < photos.size(); ++i)
    if (i + 1 == photos.size() || photos[i]->iPhotoKey() != photos[i + 1]->iPhotoKey())
      kept.push_back(std::move(photos[i]));
  return kept;
}

std::vector<std::string> PhotoLibrary::photoKeys() const {
  std::vector<std::string> keys;
  keys.reserve(photosByIPhotoKey_.size());
  for (const auto& [key, photo] : photosByIPhotoKey_) keys.push_back(key);
  return keys;
}

std::shared_ptr<Photo> PhotoLibrary::photoForIPhotoKey(std::string_view key) const {
  auto found = photosByIPhotoKey_.find(key);
  return found == photosByIPhotoKey_.end() ? nullptr : found->second;
}

void PhotoLibrary::removePhotosForIPhotoKeys(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) photosByIPhotoKey_.erase(key);
}

bool PhotoLibrary::loadFromStream(BufferedInputStream& stream, ErrorRecord* error) {
  photosByIPhotoKey_.clear();
  return readCache(
      stream,
      [this](std::shared_ptr<Photo> photo) {
        std::string key = photo->iPhotoKey();
        photosByIPhotoKey_.insert_or_assign(photosByIPhotoKey_.end(), std::move(key),
                                            std::move(photo));
      },
      error);
}

bool PhotoLibrary::readCache(BufferedInputStream& stream, const PhotoSink& put,
                             ErrorRecord* error) {
  scanDate_.reset();
  std::uint32_t version;
  if (!IntegerIO::readUInt32(&version, stream, error)) return false;
  if (version != kCacheVersion) {
    TL_SET_ERROR(error, this, errorDomain(), kWrongVersionError,
                 "invalid PhotoLibrary version %u; expected %u", version, kCacheVersion);
    return false;
  }
  // The count is never used to reserve anything: a damaged count just runs into the end of data.
  std::uint64_t count;
  if (!IntegerIO::readUInt64(&count, stream, error)) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::shared_ptr<Photo> photo = Photo::initFromStream(stream, error);
    if (!photo) return false;
    put(std::move(photo));
  }
  bool noScanDate;
  if (!BooleanIO::read(&noScanDate, stream, error)) return false;
  if (noScanDate) return true;
  std::uint64_t seconds;
  if (!IntegerIO::readUInt64(&seconds, stream, error)) return false;
  scanDate_ = Date::withTimeIntervalSinceReferenceDate(static_cast<double>(seconds));
  return true;
}

bool PhotoLibrary::writeToStream(BufferedOutputStream& stream, ErrorRecord* error) const {
  if (!IntegerIO::writeUInt32(kCacheVersion, stream, error) ||
      !IntegerIO::writeUInt64(photosByIPhotoKey_.size(), stream, error))
    return false;
  for (const auto& [key, photo] : photosByIPhotoKey_)
    if (!photo->writeToStream(stream, error)) return false;
  TL_LOG_DEBUG(this, "writing scanDate %s to photoLibrary.dat",
               scanDate_ ? scanDate_->description().c_str() : "(null)");
  if (!BooleanIO::write(!scanDate_, stream, error)) return false;
  if (scanDate_ &&
      !IntegerIO::writeUInt64(wholeSecondsSinceReferenceDate(*scanDate_), stream, error))
    return false;
  TL_LOG_DEBUG(this, "PhotoLibrary: saved %llu photos",
               static_cast<unsigned long long>(photosByIPhotoKey_.size()));
  return true;
}

bool PhotoLibrary::save(ErrorRecord* error) const {
  if (!ensureParentPathExistsForPath(cachePath_, kCacheFolderMode, error)) return false;
  auto write = [this](const AtomicFileSink& sink, ErrorRecord* writeError) {
    auto pieces = std::make_shared<PieceOutputStream>(sink);
    BufferedOutputStream stream(pieces);
    return writeToStream(stream, writeError) && stream.flush(writeError) &&
           pieces->flush(writeError);
  };
  if (!(scanDate_ && rewriteScanDate()) &&
      !writeFileAtomically(cachePath_, kCacheFileMode, write, error))
    return false;
  if (!scanDate_) return true;
  std::string marker = cachePath_ + ".complete";
  ErrorRecord touchError;
  if (!touchFileAtPath(marker, kCacheFileMode, &touchError))
    logError("error touching %s: %s", marker.c_str(), touchError.description().c_str());
  return true;
}

// Only a file a full save could have left (ours alone, one link, its mode) is written in place;
// any doubt, and the full save runs instead.
bool PhotoLibrary::rewriteScanDate() const {
  const int fd = ::open(cachePath_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 &&
              info.st_uid == ::geteuid() && (info.st_mode & 07777) == kCacheFileMode &&
              info.st_size > static_cast<off_t>(kScanDateSize);
  LogLines lines;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (same) {
    LogLineHold hold(lines);
    auto file = std::make_shared<ComparingOutputStream>(fd, size - kScanDateSize);
    BufferedOutputStream stream(file);
    same = writeToStream(stream) && stream.flush() && file->bytesWritten() == size;
  }
  Data date;
  IntegerIO::writeUInt64(wholeSecondsSinceReferenceDate(*scanDate_), date);
  same = same &&
         ::pwrite(fd, date.data(), date.size(), static_cast<off_t>(size - kScanDateSize)) ==
             static_cast<ssize_t>(date.size()) &&
         ::fdatasync(fd) == 0;
  ::close(fd);
  if (same) writeLogLines(lines);
  return same;
}

}  // namespace twinlens
