#include "catalog/photo.hpp"

#include <sys/stat.h>
#include <sys/time.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>

#include "catalog/photo_hash_job.hpp"
#include "io/double_io.hpp"
#include "io/file_helpers.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "plist/number_scan.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

const std::optional<std::string> kAbsent;

const char* orNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : "(null)";
}

// Absent on both sides counts as equal.
bool equalOrBothAbsent(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return a == b;
}

// Absent on either side counts as unequal.
bool equalAndPresent(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return a && b && *a == *b;
}

void setText(std::optional<std::string>& field, std::optional<std::string_view> text) {
  if (text) field = *text;
}

void setDouble(double& field, std::optional<double> number) {
  if (number) field = *number;
}

}  // namespace

std::optional<std::int32_t> photoKeyNumber(std::string_view key) {
  std::int32_t number = 0;
  auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
  if (error != std::errc() || end != key.data() + key.size() || std::to_string(number) != key)
    return std::nullopt;
  return number;
}

Photo::Photo(std::string iPhotoKey) {
  setIPhotoKey(std::move(iPhotoKey));
}

void Photo::setIPhotoKey(std::string iPhotoKey) {
  iPhotoKey_ = std::move(iPhotoKey);
  iPhotoKeyNumber_ = photoKeyNumber(iPhotoKey_);
}

const std::optional<std::string>& Photo::originalPath() const {
  return originalPath_ ? originalPath_ : imagePath_;
}

const std::optional<std::string>& Photo::modifiedPath() const {
  return originalPath_ ? imagePath_ : kAbsent;
}

std::optional<std::string> Photo::originalFileName() const {
  const std::optional<std::string>& path = originalPath();
  if (!path) return std::nullopt;
  return lastPathComponent(*path);
}

Date Photo::dateTaken() const {
  return Date::withTimeIntervalSinceReferenceDate(dateTakenTimeIntervalSinceReferenceDate_);
}

void Photo::setPath(std::optional<std::string>& field, std::optional<std::string_view> text,
                    bool required) {
  if (!text && !required) return;
  // An unchanged path, the common case in a rescan, is left as it is rather than copied again.
  if (text ? field == *text : !field) return;
  if (field) {
    originalSHA1_.reset();
    modifiedSHA1_.reset();
  }
  if (text)
    field = *text;
  else
    field.reset();
}

PhotoEntry PhotoEntry::fromPlist(const PListValue& entry) {
  PhotoEntry fields;
  if (const PListValue::Dictionary* dictionary = entry.dictionaryValue())
    for (const auto& [key, value] : *dictionary) {
      const std::string* text = value.textValue();
      fields.take(key, text ? std::optional<std::string_view>(*text) : std::nullopt, value);
    }
  return fields;
}

void PhotoEntry::take(std::string_view key, std::optional<std::string_view> text,
                      const PListValue& value) {
  auto number = [&] { return text ? scanDecimal(*text).value_or(0.0) : value.doubleValue(); };
  if (key == "ImagePath")
    imagePath = text;
  else if (key == "OriginalPath")
    originalPath = text;
  else if (key == "ThumbPath")
    thumbPath = text;
  else if (key == "Caption")
    caption = text;
  else if (key == "Comment")
    comment = text;
  else if (key == "ImageType")
    imageType = text;
  else if (key == "Aspect Ratio")
    aspectRatio = number();
  else if (key == "DateAsTimerInterval")
    dateAsTimerInterval = number();
  else if (key == "Roll")
    roll = text ? scanInt(*text).value_or(0) : value.int32Value();
}

void Photo::setFromPlist(const PListValue& entry) {
  setFromEntry(PhotoEntry::fromPlist(entry));
}

void Photo::setFromEntry(const PhotoEntry& entry) {
  setPath(imagePath_, entry.imagePath, false);
  setPath(originalPath_, entry.originalPath, true);
  setText(thumbPath_, entry.thumbPath);
  setText(caption_, entry.caption);
  setText(comment_, entry.comment);
  setText(imageType_, entry.imageType);
  setDouble(aspectRatio_, entry.aspectRatio);
  setDouble(dateTakenTimeIntervalSinceReferenceDate_, entry.dateAsTimerInterval);
  rollId_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(entry.roll.value_or(0)));
}

bool Photo::updateSHA1s(ErrorRecord* error) {
  PhotoHashJob job = PhotoHashJob::plan(*this);
  job.hashFiles();
  return job.finish(*this, error);
}

bool Photo::applyOriginalMTimeToFile(const std::string& path, ErrorRecord* error) const {
  struct timeval when;
  when.tv_sec = static_cast<time_t>(originalMtime_sec_);
  when.tv_usec = static_cast<suseconds_t>(originalMtime_nsec_ / 1000);
  struct timeval times[2] = {when, when};
  if (::utimes(path.c_str(), times) == 0) return true;
  int err = errno;
  TL_SET_UNIX_ERROR(error, this, err, "utimes(%s): %s", path.c_str(), std::strerror(err));
  return false;
}

bool Photo::isEqualToPhoto(const Photo& other) const {
  return equalOrBothAbsent(originalSHA1_, other.originalSHA1_) &&
         equalOrBothAbsent(modifiedSHA1_, other.modifiedSHA1_) && iPhotoKey_ == other.iPhotoKey_ &&
         equalAndPresent(thumbPath_, other.thumbPath_) &&
         equalAndPresent(originalPath(), other.originalPath()) &&
         equalOrBothAbsent(modifiedPath(), other.modifiedPath()) &&
         equalAndPresent(caption_, other.caption_) && equalAndPresent(comment_, other.comment_) &&
         equalAndPresent(imageType_, other.imageType_) && dateTaken() == other.dateTaken() &&
         rollId_ == other.rollId_;
}

bool Photo::isEqual(const Photo* other) const {
  if (other == this) return true;
  return other && isEqualToPhoto(*other);
}

std::size_t Photo::hash() const {
  return originalSHA1_ ? std::hash<std::string>{}(*originalSHA1_) : 0;
}

std::strong_ordering Photo::compareByIPhotoKey(const Photo& other) const {
  return iPhotoKeyNumber_ <=> other.iPhotoKeyNumber_;
}

std::string Photo::description() const {
  return formatText(
      "<Photo: key=%s originalPath=%s modifiedPath=%s originalSHA1=%s modifiedSHA1=%s>",
      iPhotoKey_.c_str(), orNull(originalPath()), orNull(modifiedPath()), orNull(originalSHA1_),
      orNull(modifiedSHA1_));
}

std::shared_ptr<Photo> Photo::initFromStream(BufferedInputStream& stream, ErrorRecord* error) {
  auto photo = std::make_shared<Photo>(std::string());
  if (!photo->readFields(stream, error)) return nullptr;
  return photo;
}

bool Photo::readFields(BufferedInputStream& s, ErrorRecord* error) {
  std::optional<std::string> key;
  if (!StringIO::read(&originalSHA1_, s, error) || !StringIO::read(&modifiedSHA1_, s, error) ||
      !StringIO::read(&key, s, error))
    return false;
  // The cache is keyed by this text; a record without one cannot be placed.
  if (!key) {
    TL_SET_ERROR(error, this, errorDomain(), kInvalidPhotoError,
                 "cached photo record has no iPhotoKey");
    return false;
  }
  setIPhotoKey(std::move(*key));
  return StringIO::read(&imagePath_, s, error) && StringIO::read(&originalPath_, s, error) &&
         StringIO::read(&thumbPath_, s, error) && DoubleIO::read(&aspectRatio_, s, error) &&
         StringIO::read(&caption_, s, error) && StringIO::read(&comment_, s, error) &&
         StringIO::read(&imageType_, s, error) &&
         IntegerIO::readUInt64(&originalFileSize_, s, error) &&
         IntegerIO::readInt64(&originalMtime_sec_, s, error) &&
         IntegerIO::readInt64(&originalMtime_nsec_, s, error) &&
         IntegerIO::readUInt64(&modifiedFileSize_, s, error) &&
         IntegerIO::readInt64(&modifiedMtime_sec_, s, error) &&
         IntegerIO::readInt64(&modifiedMtime_nsec_, s, error) &&
         DoubleIO::read(&dateTakenTimeIntervalSinceReferenceDate_, s, error) &&
         IntegerIO::readUInt64(&rollId_, s, error);
}

bool Photo::writeToStream(BufferedOutputStream& s, ErrorRecord* error) const {
  return StringIO::write(originalSHA1_, s, error) && StringIO::write(modifiedSHA1_, s, error) &&
         StringIO::write(iPhotoKey_, s, error) && StringIO::write(imagePath_, s, error) &&
         StringIO::write(originalPath_, s, error) && StringIO::write(thumbPath_, s, error) &&
         DoubleIO::write(aspectRatio_, s, error) && StringIO::write(caption_, s, error) &&
         StringIO::write(comment_, s, error) && StringIO::write(imageType_, s, error) &&
         IntegerIO::writeUInt64(originalFileSize_, s, error) &&
         IntegerIO::writeUInt64(static_cast<std::uint64_t>(originalMtime_sec_), s, error) &&
         IntegerIO::writeUInt64(static_cast<std::uint64_t>(originalMtime_nsec_), s, error) &&
         IntegerIO::writeUInt64(modifiedFileSize_, s, error) &&
         IntegerIO::writeUInt64(static_cast<std::uint64_t>(modifiedMtime_sec_), s, error) &&
         IntegerIO::writeUInt64(static_cast<std::uint64_t>(modifiedMtime_nsec_), s, error) &&
         DoubleIO::write(dateTakenTimeIntervalSinceReferenceDate_, s, error) &&
         IntegerIO::writeUInt64(rollId_, s, error);
}

}  // namespace twinlens
