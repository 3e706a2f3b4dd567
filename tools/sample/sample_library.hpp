#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens::sample {

class PlistText;

// What a photo of a sample library is, as far as finding duplicates goes.
enum class SampleKind {
  Unique,         // its own picture
  ExactCopy,      // byte for byte the original file of an earlier-made photo
  MetadataCopy,   // another photo's picture under a different EXIF text (and a comment segment)
  Edited,         // an original plus a modified file showing another, new picture
  EditedAsOther,  // edited, and its modified file is byte for byte another photo's original
  Missing,        // the catalogue names an original that is not on disk
  Unlisted,       // an exact copy whose roll the catalogue's "List of Rolls" does not name
};

const char* nameOfSampleKind(SampleKind kind);

// The shape of a generated library. Fractions are of `photoCount` and rounded to the nearest
// whole photo; whatever the other kinds leave is Unique. Copies need a photo to copy: in a library
// too small to have one, copies become Unique, EditedAsOther photos Edited, and Unlisted photos
// show a picture of their own.
struct SampleLibraryOptions {
  std::size_t photoCount = 30;
  // Entropy-coded bytes of a photo's picture, give or take a quarter.
  std::size_t imageBytes = 20000;
  std::uint32_t seed = 1;
  double exactCopyFraction = 0.1;
  double metadataCopyFraction = 0.1;
  double editedFraction = 0.1;
  double editedAsOtherFraction = 0.05;
  std::size_t missingCount = 1;
  std::size_t unlistedCount = 1;
  // At least 1.
  std::size_t photosPerRoll = 12;
  // False: write AlbumData.xml alone, no image or thumbnail file.
  bool writeImages = true;
  // An album named after the application holding some of the duplicates.
  bool twinlensAlbum = true;
  // The first photo's caption and comment hold characters XML must escape, and non-ASCII text.
  bool specialCaption = true;
};

struct SamplePhoto {
  std::string key;
  SampleKind kind = SampleKind::Unique;
  std::string caption;
  std::string comment;
  // Absolute paths as the catalogue gives them. `originalPath` only for edited photos.
  std::string imagePath;
  std::optional<std::string> originalPath;
  std::string thumbPath;
  std::int64_t rollId = 0;
  double aspectRatio = 0;
  double dateAsTimerInterval = 0;
  std::string guid;
  // The picture each file shows: files with the same picture hash alike as photos. Only edited
  // photos have a modified picture.
  std::uint32_t originalPicture = 0;
  std::optional<std::uint32_t> modifiedPicture;
  // The EXIF text of the original file; with `originalComment`, what makes a metadata copy's
  // file differ from the file it copies.
  std::string cameraText;
  std::optional<std::string> originalComment;
  // The photo whose file this one copies (ExactCopy, MetadataCopy, Unlisted), or whose original
  // this one's modified file equals (EditedAsOther): an index into photos().
  std::optional<std::size_t> source;

  // The file the scan treats as the original: originalPath when edited, else imagePath.
  const std::string& originalFile() const { return originalPath ? *originalPath : imagePath; }
};

struct SampleRoll {
  std::int64_t id = 0;
  std::string name;
  double dateAsTimerInterval = 0;
  // "<year>/<name>": the folder under Originals, Modified and Data.
  std::string folder;
  std::vector<std::string> keys;
  bool listed = true;
};

// A made-up iPhoto library: the plan of its photos and rolls, computed from the options at
// construction (the same options always give the same library, byte for byte), and the writing
// of its folders, files and AlbumData.xml:
//
//   <library>/AlbumData.xml
//   <library>/Originals/<year>/<roll name>/IMG_nnnn.JPG
//   <library>/Modified/<year>/<roll name>/IMG_nnnn.JPG   (edited photos)
//   <library>/Data/<year>/<roll name>/IMG_nnnn.jpg       (thumbnails)
class SampleLibrary {
 public:
  // `libraryPath` should be absolute: the catalogue repeats it in every path.
  SampleLibrary(std::string libraryPath, SampleLibraryOptions options = {});

  const std::string& libraryPath() const { return libraryPath_; }
  const SampleLibraryOptions& options() const { return options_; }
  std::string albumDataPath() const { return libraryPath_ + "/AlbumData.xml"; }
  const std::vector<SamplePhoto>& photos() const { return photos_; }
  // Listed rolls first, in id order, then any unlisted roll.
  const std::vector<SampleRoll>& rolls() const { return rolls_; }
  // Keys of the album named after the application; empty without one.
  const std::vector<std::string>& twinlensAlbumKeys() const { return twinlensAlbumKeys_; }
  // The photo with `key`, or null.
  const SamplePhoto* photoForKey(std::string_view key) const;

  // Makes the folders and writes every file, AlbumData.xml last. False with "UnixErrorDomain",
  // errno, "%@: %s" (the path, the system's text) for the first file or folder that failed.
  [[nodiscard]] bool write(ErrorRecord* error = nullptr) const;
  // Writes AlbumData.xml alone; failures as write().
  [[nodiscard]] bool writeAlbumData(ErrorRecord* error = nullptr) const;
  // The catalogue's text, handed to `sink` in pieces of about a megabyte.
  void writeAlbumDataTo(const std::function<void(std::string_view)>& sink) const;
  std::string albumDataXML() const;

  // The bytes of a photo's original file, and of its modified file (empty when it has none).
  Data originalFileBytes(const SamplePhoto& photo) const;
  Data modifiedFileBytes(const SamplePhoto& photo) const;
  Data thumbnailBytes(const SamplePhoto& photo) const;

  // The photos a scan keeps: every photo of a listed roll whose files are on disk.
  std::vector<std::string> expectedScannedKeys() const;
  // The duplicate sets a scan of the written library finds, kept key first, each set's keys in
  // the order they join it, sets in the order they are made; keys are walked in text order
  // ("10" before "9") and matched on the original's picture first, then the modified's, against
  // photos that matched nothing earlier.
  std::vector<std::vector<std::string>> expectedDuplicateSets() const;
  // Every key but the first of each expected set.
  std::vector<std::string> expectedDuplicateKeys() const;

 private:
  void planKinds(std::vector<SampleKind>& kinds) const;
  void planRolls(std::size_t listedPhotos, std::size_t unlistedPhotos);
  void planPhoto(std::size_t index, SampleKind kind, const SampleRoll& roll,
                 std::size_t positionInRoll);
  void chooseSources();
  void chooseTwinlensAlbum();
  Data pictureBytes(std::uint32_t picture, const std::string& cameraText,
                    const std::optional<std::string>& comment) const;
  bool writePhotoFiles(const SamplePhoto& photo, ErrorRecord* error) const;
  void writeImageList(PlistText& plist) const;
  void writeRollList(PlistText& plist) const;
  void writeAlbumList(PlistText& plist) const;

  std::string libraryPath_;
  SampleLibraryOptions options_;
  std::vector<SamplePhoto> photos_;
  std::vector<SampleRoll> rolls_;
  std::vector<std::string> twinlensAlbumKeys_;
  std::uint64_t random_ = 0;
  std::uint32_t nextPicture_ = 0;
};

}  // namespace twinlens::sample
