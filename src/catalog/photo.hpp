#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "platform/plist_value.hpp"
#include "shared/date.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// The number a photo key stands for: the key read as a signed 32-bit decimal, but only when that
// number's own decimal text is the key itself ("5", "-3"; not "05", "+5", "5abc", "" or a value
// beyond 32 bits), so no two keys stand for one number. Scripts name photos by this number.
std::optional<std::int32_t> photoKeyNumber(std::string_view key);

// The fields of one entry of the catalogue's image list that a record takes, each read as the
// record reads it: a text field holds its value only when that is a text, a number field any
// value that reads as a number. The texts view storage the caller keeps alive, so a rescan of a
// large library sets its records up without a copy of every entry.
struct PhotoEntry {
  std::optional<std::string_view> imagePath;
  std::optional<std::string_view> originalPath;
  std::optional<std::string_view> thumbPath;
  std::optional<std::string_view> caption;
  std::optional<std::string_view> comment;
  std::optional<std::string_view> imageType;
  std::optional<double> aspectRatio;
  std::optional<double> dateAsTimerInterval;
  std::optional<std::int32_t> roll;

  // The entry as a record reads `entry` (no dictionary: an entry with no fields).
  static PhotoEntry fromPlist(const PListValue& entry);
  // Takes the value under `key` when a record reads that key: `text` when the value is a text,
  // else `value`. A key taken again replaces what it held, as a repeated key does in a tree.
  void take(std::string_view key, std::optional<std::string_view> text, const PListValue& value);
  bool operator==(const PhotoEntry&) const = default;
};

// One photo of an iPhoto library: its key, its files, a few fields from the catalogue, and the
// SHA-1 texts of its original and modified files together with each file's size and modification
// time when it was hashed, so a later scan can skip files that have not changed. Absent texts are
// nullopt, distinct from empty texts. Records are shared (std::shared_ptr<Photo>) between a
// PhotoLibrary and the lists of a scan; a record has no lock and is used by one thread at a time.
class Photo {
 public:
  // A record with this key; every other text absent and every number 0.
  explicit Photo(std::string iPhotoKey);

  // A record in its cache form (the photo record layout of doc/cache-format.md), or null with the
  // stream's record (see StringIO, DoubleIO, IntegerIO), or with "PhotoErrorDomain" -1 when the
  // record holds no key.
  static std::shared_ptr<Photo> initFromStream(BufferedInputStream& stream,
                                               ErrorRecord* error = nullptr);
  // Writes the cache form; false with the stream's record.
  [[nodiscard]] bool writeToStream(BufferedOutputStream& stream,
                                   ErrorRecord* error = nullptr) const;

  static const char* errorDomain() { return "PhotoErrorDomain"; }
  // Its one code: a record without a key, a photo without an original, an empty original.
  static constexpr std::int32_t kInvalidPhotoError = -1;

  // Sets the key and recomputes the key number (photoKeyNumber()).
  void setIPhotoKey(std::string iPhotoKey);

  // Brings paths and descriptive fields up to date from one entry of the catalogue's image list
  // ("ImagePath", "OriginalPath", "ThumbPath", "Caption", "Comment", "ImageType" texts, "Aspect
  // Ratio" and "DateAsTimerInterval" numbers, "Roll" integer). A key that the entry lacks, or
  // whose value has the wrong type, leaves its field as it was, but for "OriginalPath" and
  // "Roll": without them the photo is unedited and in no roll, whatever an older catalogue said.
  // A changed image or original path (an original path dropped included) clears both SHA-1
  // texts, so the next updateSHA1s() hashes again. Cannot fail.
  void setFromPlist(const PListValue& entry);
  void setFromEntry(const PhotoEntry& entry);

  // Makes both SHA-1 texts current for the files on disk (status read through symbolic links). A
  // file whose size, seconds and nanoseconds equal the recorded ones keeps its SHA-1 text and is
  // not read. Fails with "PhotoErrorDomain" -1 "missing originalPath for photo %@" or
  // "%@ is an empty file" (original of 0 bytes), "UnixErrorDomain" errno "%@: %s" when a file's
  // status cannot be read, or with the hash's own record; fields updated before a failure keep
  // their new values, and a SHA-1 text whose hashing failed becomes absent.
  [[nodiscard]] bool updateSHA1s(ErrorRecord* error = nullptr);

  // Sets the access and modification times of `path` to the recorded original modification time,
  // to the microsecond. Fails with "UnixErrorDomain" errno "utimes(%@): %s".
  [[nodiscard]] bool applyOriginalMTimeToFile(const std::string& path,
                                              ErrorRecord* error = nullptr) const;

  const std::string& iPhotoKey() const { return iPhotoKey_; }
  // Absent for a key that stands for no number.
  std::optional<std::int32_t> iPhotoKeyNumber() const { return iPhotoKeyNumber_; }
  const std::optional<std::string>& originalSHA1() const { return originalSHA1_; }
  const std::optional<std::string>& modifiedSHA1() const { return modifiedSHA1_; }
  const std::optional<std::string>& imagePath() const { return imagePath_; }
  // The unedited original: the "OriginalPath" when the photo was edited, else the image path.
  const std::optional<std::string>& originalPath() const;
  // The edited file: the image path when the photo has an "OriginalPath", else absent.
  const std::optional<std::string>& modifiedPath() const;
  // The last path component of originalPath(); absent when that is.
  std::optional<std::string> originalFileName() const;
  const std::optional<std::string>& thumbPath() const { return thumbPath_; }
  const std::optional<std::string>& caption() const { return caption_; }
  const std::optional<std::string>& comment() const { return comment_; }
  const std::optional<std::string>& imageType() const { return imageType_; }
  double aspectRatio() const { return aspectRatio_; }
  Date dateTaken() const;
  std::uint64_t rollId() const { return rollId_; }
  std::uint64_t originalFileSize() const { return originalFileSize_; }
  std::int64_t originalMtime_sec() const { return originalMtime_sec_; }
  std::int64_t originalMtime_nsec() const { return originalMtime_nsec_; }
  std::uint64_t modifiedFileSize() const { return modifiedFileSize_; }
  std::int64_t modifiedMtime_sec() const { return modifiedMtime_sec_; }
  std::int64_t modifiedMtime_nsec() const { return modifiedMtime_nsec_; }

  // Equal SHA-1 texts, keys, thumbnail paths, derived original and modified paths, captions,
  // comments, image types, dates taken and roll ids. Two absent SHA-1 texts or modified paths
  // match; any other absent text makes the records unequal.
  bool isEqualToPhoto(const Photo& other) const;
  // True for the same record, false for null, else isEqualToPhoto().
  bool isEqual(const Photo* other) const;
  // Equal records hash alike: the hash of originalSHA1, 0 when it is absent.
  std::size_t hash() const;
  // Orders by iPhotoKeyNumber, ascending, an absent number before every other.
  std::strong_ordering compareByIPhotoKey(const Photo& other) const;

  // "<Photo: key=%@ originalPath=%@ modifiedPath=%@ originalSHA1=%@ modifiedSHA1=%@>", absent
  // values as "(null)".
  std::string description() const;

 private:
  friend class PhotoHashJob;
  bool readFields(BufferedInputStream& stream, ErrorRecord* error);
  // A path the entry lacks stays as it was, unless `required`: then it becomes absent.
  void setPath(std::optional<std::string>& field, std::optional<std::string_view> text,
               bool required);

  std::optional<std::string> originalSHA1_;
  std::optional<std::string> modifiedSHA1_;
  std::string iPhotoKey_;
  std::optional<std::int32_t> iPhotoKeyNumber_;
  std::optional<std::string> imagePath_;
  std::optional<std::string> originalPath_;
  std::optional<std::string> thumbPath_;
  double aspectRatio_ = 0.0;
  std::optional<std::string> caption_;
  std::optional<std::string> comment_;
  std::optional<std::string> imageType_;
  double dateTakenTimeIntervalSinceReferenceDate_ = 0.0;
  std::uint64_t rollId_ = 0;
  std::uint64_t originalFileSize_ = 0;
  std::int64_t originalMtime_sec_ = 0;
  std::int64_t originalMtime_nsec_ = 0;
  std::uint64_t modifiedFileSize_ = 0;
  std::int64_t modifiedMtime_sec_ = 0;
  std::int64_t modifiedMtime_nsec_ = 0;
};

}  // namespace twinlens
