#include "sample/sample_library.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>

#include "catalog/duplicate_results.hpp"
#include "catalog/photo.hpp"
#include "catalog/photo_library.hpp"
#include "crypto/sha1_hash.hpp"
#include "platform/plist_reader.hpp"
#include "shared/twinlens_app.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::sample {
namespace {

using testing::TempDir;

struct Shape {
  const char* name;
  SampleLibraryOptions options;
};

SampleLibraryOptions withSeed(std::uint32_t seed, std::size_t photos) {
  SampleLibraryOptions options;
  options.seed = seed;
  options.photoCount = photos;
  options.imageBytes = 2000;
  return options;
}

// Libraries of several shapes: the demo's, other seeds and sizes, heavy copying, one photo per
// roll, and no optional extras.
std::vector<Shape> shapes() {
  std::vector<Shape> result = {{"demo", SampleLibraryOptions{}},
                               {"seed 7, 80 photos", withSeed(7, 80)},
                               {"seed 12345, 45 photos", withSeed(12345, 45)}};
  SampleLibraryOptions heavy = withSeed(3, 60);
  heavy.exactCopyFraction = 0.25;
  heavy.metadataCopyFraction = 0.2;
  heavy.editedFraction = 0.15;
  heavy.editedAsOtherFraction = 0.1;
  heavy.missingCount = 3;
  heavy.unlistedCount = 2;
  result.push_back({"heavy copying", heavy});
  SampleLibraryOptions single = withSeed(5, 20);
  single.photosPerRoll = 1;
  result.push_back({"one photo per roll", single});
  SampleLibraryOptions plain = withSeed(9, 25);
  plain.twinlensAlbum = false;
  plain.specialCaption = false;
  result.push_back({"plain", plain});
  return result;
}

PListValue parseAlbumData(const SampleLibrary& library) {
  ErrorRecord error;
  std::optional<PListValue> root = PListReader::parseFile(library.albumDataPath(), &error);
  EXPECT_TRUE(root) << error.description();
  return root ? *root : PListValue::dictionary({});
}

std::vector<std::string> textsOf(const PListValue* array) {
  std::vector<std::string> texts;
  if (!array || !array->arrayValue()) return texts;
  for (const PListValue& item : *array->arrayValue())
    texts.push_back(item.textValue() ? *item.textValue() : "<not a text>");
  return texts;
}

const PListValue* albumNamed(const PListValue& root, const std::string& name) {
  const PListValue* albums = root.objectForKey("List of Albums");
  if (!albums || !albums->arrayValue()) return nullptr;
  for (const PListValue& album : *albums->arrayValue()) {
    const PListValue* albumName = album.objectForKey("AlbumName");
    if (albumName && albumName->textValue() && *albumName->textValue() == name) return &album;
  }
  return nullptr;
}

bool isNonEmptyFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

std::string textAt(const PListValue& entry, const char* key) {
  const PListValue* value = entry.objectForKey(key);
  return value && value->textValue() ? *value->textValue() : "<absent>";
}

class SampleLibraryTest : public ::testing::Test {
 protected:
  SampleLibrary written(const SampleLibraryOptions& options, const std::string& name = "lib") {
    SampleLibrary library(dir_.file(name), options);
    ErrorRecord error;
    EXPECT_TRUE(library.write(&error)) << error.description();
    return library;
  }

  TempDir dir_;
};

TEST_F(SampleLibraryTest, AlbumDataParsesWithOneEntryPerPhotoAndTheListedRolls) {
  for (const Shape& shape : shapes()) {
    SCOPED_TRACE(shape.name);
    SampleLibrary library = written(shape.options, shape.name);
    PListValue root = parseAlbumData(library);
    const PListValue::Dictionary* images =
        root.objectForKey("Master Image List")->dictionaryValue();
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(images->size(), shape.options.photoCount);
    for (const SamplePhoto& photo : library.photos()) EXPECT_TRUE(images->contains(photo.key));

    const PListValue::Array* rolls = root.objectForKey("List of Rolls")->arrayValue();
    ASSERT_NE(rolls, nullptr);
    std::vector<const SampleRoll*> listed;
    for (const SampleRoll& roll : library.rolls())
      if (roll.listed) listed.push_back(&roll);
    ASSERT_EQ(rolls->size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ((*rolls)[i].objectForKey("RollID")->integerValue(), listed[i]->id);
      EXPECT_EQ(textAt((*rolls)[i], "RollName"), listed[i]->name);
      EXPECT_EQ(textsOf((*rolls)[i].objectForKey("KeyList")), listed[i]->keys);
    }
    EXPECT_EQ(textAt(root, "Archive Path"), library.libraryPath());
  }
}

TEST_F(SampleLibraryTest, LibraryAlbumHoldsEveryKeyAndTheTwinlensAlbumSomeDuplicates) {
  for (const Shape& shape : shapes()) {
    SCOPED_TRACE(shape.name);
    SampleLibrary library = written(shape.options, shape.name);
    PListValue root = parseAlbumData(library);
    std::vector<std::string> keys;
    for (const SamplePhoto& photo : library.photos()) keys.push_back(photo.key);
    const PListValue* all = albumNamed(root, "Library");
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(textsOf(all->objectForKey("KeyList")), keys);

    const PListValue* ours = albumNamed(root, TwinlensApp::duplicatesAlbumName());
    if (!shape.options.twinlensAlbum) {
      EXPECT_EQ(ours, nullptr);
      continue;
    }
    ASSERT_NE(ours, nullptr);
    std::vector<std::string> inAlbum = textsOf(ours->objectForKey("KeyList"));
    EXPECT_EQ(inAlbum, library.twinlensAlbumKeys());
    EXPECT_FALSE(inAlbum.empty());
    std::vector<std::string> duplicates = library.expectedDuplicateKeys();
    for (const std::string& key : inAlbum)
      EXPECT_NE(std::find(duplicates.begin(), duplicates.end(), key), duplicates.end()) << key;
  }
}

TEST_F(SampleLibraryTest, EntriesCarryThePlannedFields) {
  SampleLibrary library = written(SampleLibraryOptions{});
  PListValue root = parseAlbumData(library);
  const PListValue* images = root.objectForKey("Master Image List");
  for (const SamplePhoto& photo : library.photos()) {
    SCOPED_TRACE(photo.key);
    const PListValue* entry = images->objectForKey(photo.key);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(textAt(*entry, "Caption"), photo.caption);
    EXPECT_EQ(textAt(*entry, "Comment"), photo.comment);
    EXPECT_EQ(textAt(*entry, "ImagePath"), photo.imagePath);
    EXPECT_EQ(textAt(*entry, "ThumbPath"), photo.thumbPath);
    EXPECT_EQ(textAt(*entry, "OriginalPath"), photo.originalPath.value_or("<absent>"));
    EXPECT_EQ(textAt(*entry, "ImageType"), "JPEG");
    EXPECT_EQ(textAt(*entry, "MediaType"), "Image");
    EXPECT_EQ(textAt(*entry, "GUID"), photo.guid);
    EXPECT_EQ(entry->objectForKey("Roll")->integerValue(), photo.rollId);
    EXPECT_EQ(entry->objectForKey("Aspect Ratio")->realValue(), photo.aspectRatio);
    EXPECT_EQ(entry->objectForKey("DateAsTimerInterval")->realValue(), photo.dateAsTimerInterval);
  }
}

TEST_F(SampleLibraryTest, CaptionWithMarkupAndNonAsciiSurvivesEscaping) {
  SampleLibrary library = written(SampleLibraryOptions{});
  const SamplePhoto& first = library.photos().front();
  for (const char* piece : {"&", "<", ">", "\"", "\u00fc", "\u6771", "\U0001F305"})
    EXPECT_NE(first.caption.find(piece), std::string::npos) << piece;
  EXPECT_NE(first.comment.find("]]>"), std::string::npos);

  std::string xml = library.albumDataXML();
  EXPECT_NE(xml.find("Anna &amp; Ben &lt;at the \"beach\"&gt;"), std::string::npos);
  EXPECT_EQ(xml.find("<at the"), std::string::npos);
  PListValue root = parseAlbumData(library);
  const PListValue* entry = root.objectForKey("Master Image List")->objectForKey(first.key);
  EXPECT_EQ(textAt(*entry, "Caption"), first.caption);
  EXPECT_EQ(textAt(*entry, "Comment"), first.comment);
}

TEST_F(SampleLibraryTest, DocumentIsLaidOutAsApplesPropertyLists) {
  std::string xml = SampleLibrary("/Users/someone/Pictures/iPhoto Library").albumDataXML();
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n"
      "<dict>\n"
      "\t<key>Application Version</key>\n";
  EXPECT_EQ(xml.substr(0, head.size()), head);
  EXPECT_TRUE(xml.ends_with("</dict>\n</plist>\n"));
  EXPECT_NE(xml.find("\n\t\t\t<key>ImagePath</key>\n"), std::string::npos);
  EXPECT_EQ(xml.find("\n "), std::string::npos) << "indented by tabs only";
  EXPECT_NE(xml.find("<real>1.333333</real>"), std::string::npos);
}

TEST_F(SampleLibraryTest, FilesStandWhereTheCatalogueSays) {
  SampleLibrary library = written(SampleLibraryOptions{});
  PListValue root = parseAlbumData(library);
  std::map<std::int64_t, std::string> folders;
  for (const SampleRoll& roll : library.rolls()) folders[roll.id] = roll.folder;
  int missing = 0;
  for (const auto& [key, entry] : *root.objectForKey("Master Image List")->dictionaryValue()) {
    SCOPED_TRACE(key);
    const SamplePhoto* photo = library.photoForKey(key);
    ASSERT_NE(photo, nullptr);
    const std::string folder = "/" + folders[photo->rollId] + "/";
    const std::string image = textAt(entry, "ImagePath");
    const std::string thumb = textAt(entry, "ThumbPath");
    EXPECT_TRUE(isNonEmptyFile(thumb));
    EXPECT_TRUE(thumb.starts_with(library.libraryPath() + "/Data" + folder)) << thumb;
    EXPECT_TRUE(thumb.ends_with(".jpg")) << thumb;
    if (entry.objectForKey("OriginalPath")) {
      const std::string original = textAt(entry, "OriginalPath");
      EXPECT_TRUE(original.starts_with(library.libraryPath() + "/Originals" + folder)) << original;
      EXPECT_TRUE(image.starts_with(library.libraryPath() + "/Modified" + folder)) << image;
      EXPECT_TRUE(isNonEmptyFile(original));
      EXPECT_TRUE(isNonEmptyFile(image));
      continue;
    }
    EXPECT_TRUE(image.starts_with(library.libraryPath() + "/Originals" + folder)) << image;
    EXPECT_TRUE(image.ends_with(".JPG")) << image;
    if (photo->kind == SampleKind::Missing) {
      ++missing;
      EXPECT_FALSE(std::filesystem::exists(image));
    } else {
      EXPECT_TRUE(isNonEmptyFile(image));
    }
  }
  EXPECT_EQ(missing, 1);
}

TEST_F(SampleLibraryTest, DemoHasAFewPhotosOfEveryKind) {
  SampleLibrary library(dir_.file("lib"));
  std::map<SampleKind, int> counts;
  for (const SamplePhoto& photo : library.photos()) ++counts[photo.kind];
  for (SampleKind kind :
       {SampleKind::Unique, SampleKind::ExactCopy, SampleKind::MetadataCopy, SampleKind::Edited,
        SampleKind::EditedAsOther, SampleKind::Missing, SampleKind::Unlisted}) {
    SCOPED_TRACE(nameOfSampleKind(kind));
    EXPECT_GE(counts[kind], 1);
  }
  EXPECT_EQ(library.photos().size(), 30u);
  EXPECT_EQ(std::count_if(library.rolls().begin(), library.rolls().end(),
                          [](const SampleRoll& roll) { return !roll.listed; }),
            1);
}

TEST_F(SampleLibraryTest, CopiesRelateToTheirSourcesAsPlanned) {
  SampleLibraryOptions options = withSeed(4, 60);
  options.exactCopyFraction = options.metadataCopyFraction = 0.15;
  options.editedFraction = options.editedAsOtherFraction = 0.1;
  SampleLibrary library = written(options);
  auto bytesOf = [](const std::string& path) { return testing::readFileBytes(path); };
  for (const SamplePhoto& photo : library.photos()) {
    SCOPED_TRACE(photo.key + " " + nameOfSampleKind(photo.kind));
    if (!photo.source) continue;
    const SamplePhoto& source = library.photos()[*photo.source];
    const std::string& sourceFile = source.originalFile();
    switch (photo.kind) {
      case SampleKind::ExactCopy:
      case SampleKind::Unlisted:
        EXPECT_EQ(bytesOf(photo.imagePath), bytesOf(sourceFile));
        break;
      case SampleKind::MetadataCopy:
        EXPECT_NE(bytesOf(photo.imagePath), bytesOf(sourceFile));
        EXPECT_EQ(SHA1Hash::hashPhoto(photo.imagePath), SHA1Hash::hashPhoto(sourceFile));
        EXPECT_NE(SHA1Hash::hashFile(photo.imagePath), SHA1Hash::hashFile(sourceFile));
        break;
      case SampleKind::EditedAsOther:
        EXPECT_EQ(bytesOf(photo.imagePath), bytesOf(sourceFile));
        EXPECT_NE(SHA1Hash::hashPhoto(*photo.originalPath), SHA1Hash::hashPhoto(sourceFile));
        break;
      default:
        ADD_FAILURE() << "a photo of this kind has no source";
    }
  }
  for (const SamplePhoto& photo : library.photos())
    if (photo.kind == SampleKind::Edited) {
      EXPECT_NE(SHA1Hash::hashPhoto(photo.imagePath), SHA1Hash::hashPhoto(*photo.originalPath));
    }
}

// The scan's own steps, run over the written library: records from the catalogue, the roll
// filter, hashing (dropping photos whose files cannot be hashed), weeding.
std::vector<std::vector<std::string>> scannedDuplicateSets(const SampleLibrary& library,
                                                           std::size_t* kept) {
  std::optional<PListValue> root = PListReader::parseFile(library.albumDataPath());
  if (!root) return {};
  RollNames rolls;
  for (const PListValue& roll : *root->objectForKey("List of Rolls")->arrayValue())
    rolls[*roll.objectForKey("RollID")->integerValue()] =
        *roll.objectForKey("RollName")->textValue();
  std::vector<std::shared_ptr<Photo>> photos;
  for (const auto& [key, entry] : *root->objectForKey("Master Image List")->dictionaryValue()) {
    auto photo = std::make_shared<Photo>(key);
    photo->setFromPlist(entry);
    auto rollId = static_cast<std::int64_t>(static_cast<std::int32_t>(photo->rollId()));
    if (rolls.contains(rollId) && photo->updateSHA1s()) photos.push_back(photo);
  }
  *kept = photos.size();
  PhotoLibrary scanned(library.libraryPath(), photos, std::nullopt);
  DuplicateResults results = DuplicateResults::weedDuplicates(scanned, rolls);
  std::vector<std::vector<std::string>> sets;
  for (const DuplicateSet& set : results.duplicateSets()) {
    sets.emplace_back();
    for (const auto& photo : set.orderedPhotos()) sets.back().push_back(photo->iPhotoKey());
  }
  return sets;
}

TEST_F(SampleLibraryTest, ScanOfTheWrittenLibraryFindsTheExpectedSets) {
  for (const Shape& shape : shapes()) {
    SCOPED_TRACE(shape.name);
    SampleLibrary library = written(shape.options, shape.name);
    std::size_t kept = 0;
    std::vector<std::vector<std::string>> sets = scannedDuplicateSets(library, &kept);
    EXPECT_EQ(sets, library.expectedDuplicateSets());
    EXPECT_EQ(kept, library.expectedScannedKeys().size());
    EXPECT_FALSE(sets.empty());
  }
}

TEST_F(SampleLibraryTest, ExpectedSetsFollowTextOrderOfKeys) {
  for (const Shape& shape : shapes()) {
    SCOPED_TRACE(shape.name);
    SampleLibrary library(dir_.file("unwritten"), shape.options);
    std::set<std::string> seen;
    for (const std::vector<std::string>& set : library.expectedDuplicateSets()) {
      ASSERT_GE(set.size(), 2u);
      EXPECT_TRUE(std::is_sorted(set.begin(), set.end())) << "kept key first, then text order";
      for (const std::string& key : set) EXPECT_TRUE(seen.insert(key).second) << key;
    }
  }
}

TEST_F(SampleLibraryTest, CatalogueOnlyWritesNothingButAlbumData) {
  SampleLibraryOptions options = withSeed(2, 200);
  options.writeImages = false;
  SampleLibrary library = written(options);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(library.libraryPath()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"AlbumData.xml"});
  PListValue root = parseAlbumData(library);
  EXPECT_EQ(root.objectForKey("Master Image List")->dictionaryValue()->size(), 200u);
}

TEST_F(SampleLibraryTest, SameOptionsGiveTheSameBytesAndOtherSeedsOthers) {
  SampleLibrary one("/lib", withSeed(8, 40));
  SampleLibrary again("/lib", withSeed(8, 40));
  SampleLibrary other("/lib", withSeed(9, 40));
  EXPECT_EQ(one.albumDataXML(), again.albumDataXML());
  EXPECT_NE(one.albumDataXML(), other.albumDataXML());
  EXPECT_EQ(one.originalFileBytes(one.photos()[3]), again.originalFileBytes(again.photos()[3]));
  EXPECT_EQ(one.expectedDuplicateSets(), again.expectedDuplicateSets());
}

TEST_F(SampleLibraryTest, LibrariesTooSmallToCopyFromStillParse) {
  for (std::size_t count : {0u, 1u, 2u}) {
    SCOPED_TRACE(count);
    SampleLibraryOptions options = withSeed(1, count);
    options.missingCount = options.unlistedCount = 0;
    SampleLibrary library = written(options, "lib" + std::to_string(count));
    PListValue root = parseAlbumData(library);
    EXPECT_EQ(root.objectForKey("Master Image List")->dictionaryValue()->size(), count);
    EXPECT_EQ(textsOf(albumNamed(root, "Library")->objectForKey("KeyList")).size(), count);
    if (count < 2) {
      EXPECT_TRUE(library.expectedDuplicateSets().empty());
    }
  }
}

TEST_F(SampleLibraryTest, ZeroPhotosPerRollGivesEveryPhotoItsOwnRoll) {
  SampleLibraryOptions options = withSeed(6, 10);
  options.photosPerRoll = 0;
  options.unlistedCount = 0;
  SampleLibrary library("/lib", options);
  ASSERT_EQ(library.rolls().size(), 10u);
  for (const SampleRoll& roll : library.rolls()) EXPECT_EQ(roll.keys.size(), 1u) << roll.name;
}

TEST_F(SampleLibraryTest, WriteFailsWithTheSystemErrorWhenAFolderCannotBeMade) {
  std::string blocker = dir_.write("blocker", std::string("a file, not a folder"));
  SampleLibrary library(blocker + "/lib");
  ErrorRecord error;
  EXPECT_FALSE(library.write(&error));
  EXPECT_EQ(error.domain(), kUnixErrorDomain);
  EXPECT_EQ(error.code(), ENOTDIR);
  EXPECT_NE(error.description().find(blocker + "/lib"), std::string::npos) << error.description();
}

}  // namespace
}  // namespace twinlens::sample
