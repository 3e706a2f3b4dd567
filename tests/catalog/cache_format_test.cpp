// Reads cache files with a decoder written from doc/cache-format.md alone, so the writer cannot
// drift from the documented layout without a test noticing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "catalog/photo_library.hpp"
#include "crypto/sha1_hash.hpp"
#include "library_fixture.hpp"
#include "sample/jpeg_builder.hpp"

namespace twinlens {
namespace {

using testing::LibraryTest;
using testing::readFileBytes;

// A reader of the documented encodings over a byte block; any overrun fails the test.
class DocReader {
 public:
  explicit DocReader(const Data& bytes) : bytes_(bytes) {}

  std::uint64_t unsignedOf(int width) {
    EXPECT_LE(pos_ + width, bytes_.size()) << "field runs past the end";
    std::uint64_t value = 0;
    for (int i = 0; i < width && pos_ < bytes_.size(); ++i) value = value << 8 | bytes_[pos_++];
    return value;
  }
  std::uint32_t u32() { return static_cast<std::uint32_t>(unsignedOf(4)); }
  std::uint64_t u64() { return unsignedOf(8); }
  std::int64_t i64() { return static_cast<std::int64_t>(unsignedOf(8)); }
  bool boolean() {
    std::uint8_t byte = static_cast<std::uint8_t>(unsignedOf(1));
    EXPECT_LE(byte, 1) << "a writer puts 00 or 01";
    return byte != 0;
  }
  std::optional<std::string> string() {
    if (!boolean()) return std::nullopt;
    std::uint64_t n = u64();
    EXPECT_LE(pos_ + n, bytes_.size());
    std::string text(bytes_.begin() + static_cast<long>(pos_),
                     bytes_.begin() + static_cast<long>(pos_ + n));
    pos_ += n;
    return text;
  }
  // The "%f" text, checked for its shape: digits, a point and exactly six decimals.
  std::string doubleText() {
    std::optional<std::string> text = string();
    EXPECT_TRUE(text) << "a double is always a present string";
    std::string value = text.value_or("");
    std::size_t point = value.find('.');
    EXPECT_NE(point, std::string::npos) << value;
    if (point != std::string::npos) {
      EXPECT_EQ(value.size() - point - 1, 6u) << value;
    }
    return value;
  }
  bool atEnd() const { return pos_ == bytes_.size(); }

 private:
  const Data& bytes_;
  std::size_t pos_ = 0;
};

struct DocRecord {
  std::optional<std::string> originalSHA1, modifiedSHA1, iPhotoKey, imagePath, originalPath,
      thumbPath;
  std::string aspectRatio;
  std::optional<std::string> caption, comment, imageType;
  std::uint64_t originalFileSize;
  std::int64_t originalMtimeSec, originalMtimeNsec;
  std::uint64_t modifiedFileSize;
  std::int64_t modifiedMtimeSec, modifiedMtimeNsec;
  std::string dateTaken;
  std::uint64_t rollId;
};

struct DocFile {
  std::uint32_t version;
  std::vector<DocRecord> records;
  std::optional<std::uint64_t> scanDateSeconds;
};

DocFile decode(const Data& bytes) {
  DocReader in(bytes);
  DocFile file;
  file.version = in.u32();
  std::uint64_t count = in.u64();
  for (std::uint64_t i = 0; i < count; ++i) {
    DocRecord r;
    r.originalSHA1 = in.string();
    r.modifiedSHA1 = in.string();
    r.iPhotoKey = in.string();
    r.imagePath = in.string();
    r.originalPath = in.string();
    r.thumbPath = in.string();
    r.aspectRatio = in.doubleText();
    r.caption = in.string();
    r.comment = in.string();
    r.imageType = in.string();
    r.originalFileSize = in.u64();
    r.originalMtimeSec = in.i64();
    r.originalMtimeNsec = in.i64();
    r.modifiedFileSize = in.u64();
    r.modifiedMtimeSec = in.i64();
    r.modifiedMtimeNsec = in.i64();
    r.dateTaken = in.doubleText();
    r.rollId = in.u64();
    file.records.push_back(r);
  }
  if (!in.boolean()) file.scanDateSeconds = in.u64();
  EXPECT_TRUE(in.atEnd()) << "a writer adds nothing after the last field";
  return file;
}

void setTimes(const std::string& path, std::int64_t sec, std::int64_t nsec) {
  struct timespec times[2] = {{static_cast<time_t>(sec), static_cast<long>(nsec)},
                              {static_cast<time_t>(sec), static_cast<long>(nsec)}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(LibraryTest, SavedFileMatchesTheDocumentedLayoutFieldByField) {
  std::string original =
      dir().write("lib/Originals/2009/IMG_0001.JPG", sample::samplePhoto(1, 5000, "A"));
  std::string modified =
      dir().write("lib/Modified/2009/IMG_0001.JPG", sample::samplePhoto(2, 4000, "B"));
  std::string plain =
      dir().write("lib/Originals/2009/IMG_0002.JPG", sample::samplePhoto(3, 3000, "C"));
  setTimes(original, 1262304000, 111111111);
  setTimes(modified, 1262305000, 222222222);
  setTimes(plain, 1262306000, 333);

  auto edited = std::make_shared<Photo>("100");
  edited->setFromPlist(PListValue::dictionary({
      {"ImagePath", PListValue::text(modified)},
      {"OriginalPath", PListValue::text(original)},
      {"ThumbPath", PListValue::text("/lib/Data/2009/IMG_0001.jpg")},
      {"Caption", PListValue::text("Caf\xC3\xA9")},
      {"Comment", PListValue::text("")},
      {"ImageType", PListValue::text("JPEG")},
      {"Aspect Ratio", PListValue::real(1.3333333)},
      {"DateAsTimerInterval", PListValue::real(283996800.5)},
      {"Roll", PListValue::integer(-3)},
  }));
  auto unedited = std::make_shared<Photo>("9");
  unedited->setFromPlist(PListValue::dictionary({{"ImagePath", PListValue::text(plain)}}));
  ASSERT_TRUE(edited->updateSHA1s());
  ASSERT_TRUE(unedited->updateSHA1s());

  PhotoLibrary library(dir().file("lib"), {unedited, edited},
                       Date::withTimeIntervalSinceReferenceDate(700000123.999));
  ASSERT_TRUE(library.save());
  DocFile file = decode(readFileBytes(library.cachePath()));

  EXPECT_EQ(file.version, 2u);
  ASSERT_EQ(file.records.size(), 2u);
  EXPECT_EQ(file.scanDateSeconds, 700000123u);

  const DocRecord& first = file.records[0];
  EXPECT_EQ(first.iPhotoKey, "100") << "\"100\" sorts before \"9\"";
  EXPECT_EQ(first.originalSHA1, SHA1Hash::hashPhoto(original));
  EXPECT_EQ(first.modifiedSHA1, SHA1Hash::hashPhoto(modified));
  EXPECT_EQ(first.imagePath, modified);
  EXPECT_EQ(first.originalPath, original);
  EXPECT_EQ(first.thumbPath, "/lib/Data/2009/IMG_0001.jpg");
  EXPECT_EQ(first.aspectRatio, "1.333333");
  EXPECT_EQ(first.caption, "Caf\xC3\xA9");
  EXPECT_EQ(first.comment, "");
  EXPECT_EQ(first.imageType, "JPEG");
  EXPECT_EQ(first.originalFileSize, readFileBytes(original).size());
  EXPECT_EQ(first.originalMtimeSec, 1262304000);
  EXPECT_EQ(first.originalMtimeNsec, 111111111);
  EXPECT_EQ(first.modifiedFileSize, readFileBytes(modified).size());
  EXPECT_EQ(first.modifiedMtimeSec, 1262305000);
  EXPECT_EQ(first.modifiedMtimeNsec, 222222222);
  EXPECT_EQ(first.dateTaken, "283996800.500000");
  EXPECT_EQ(first.rollId, 0xFFFFFFFFFFFFFFFDull) << "a negative roll id is sign-extended";

  const DocRecord& second = file.records[1];
  EXPECT_EQ(second.iPhotoKey, "9");
  EXPECT_EQ(second.originalSHA1, SHA1Hash::hashPhoto(plain));
  EXPECT_FALSE(second.modifiedSHA1);
  EXPECT_EQ(second.imagePath, plain);
  EXPECT_FALSE(second.originalPath) << "the raw field, not the derived original path";
  EXPECT_FALSE(second.thumbPath);
  EXPECT_EQ(second.aspectRatio, "0.000000");
  EXPECT_FALSE(second.caption);
  EXPECT_FALSE(second.comment);
  EXPECT_FALSE(second.imageType);
  EXPECT_EQ(second.originalMtimeSec, 1262306000);
  EXPECT_EQ(second.originalMtimeNsec, 333);
  EXPECT_EQ(second.modifiedFileSize, 0u);
  EXPECT_EQ(second.modifiedMtimeSec, 0);
  EXPECT_EQ(second.modifiedMtimeNsec, 0);
  EXPECT_EQ(second.dateTaken, "0.000000");
  EXPECT_EQ(second.rollId, 0u);
}

TEST_F(LibraryTest, KeyOnlyRecordIsExactlyTheDocumentedBytes) {
  auto photo = std::make_shared<Photo>("7");
  PhotoLibrary library("/lib", {photo}, std::nullopt);
  Data expected = {0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1};  // version, count
  expected.insert(expected.end(), {0, 0});               // no SHA-1 texts
  expected.insert(expected.end(), {1, 0, 0, 0, 0, 0, 0, 0, 1, '7'});
  expected.insert(expected.end(), {0, 0, 0});  // image, original, thumbnail paths
  Data zeroDouble = {1, 0, 0, 0, 0, 0, 0, 0, 8, '0', '.', '0', '0', '0', '0', '0', '0'};
  expected.insert(expected.end(), zeroDouble.begin(), zeroDouble.end());
  expected.insert(expected.end(), {0, 0, 0});  // caption, comment, image type
  expected.insert(expected.end(), 48, 0);      // six 64-bit file facts
  expected.insert(expected.end(), zeroDouble.begin(), zeroDouble.end());
  expected.insert(expected.end(), 8, 0);  // roll id
  expected.push_back(1);                  // no scan date
  EXPECT_EQ(bytesOf(library), expected);
}

TEST_F(LibraryTest, DocumentedBytesWrittenByHandLoad) {
  Data bytes = {0, 0, 0, 2, 0,   0,   0, 0, 0, 0, 0, 1, 0, 0, 1, 0,   0,   0, 0,
                0, 0, 0, 2, '4', '2', 1, 0, 0, 0, 0, 0, 0, 0, 2, '/', 'x', 0, 0};
  Data aspect = {1, 0, 0, 0, 0, 0, 0, 0, 8, '1', '.', '5', '0', '0', '0', '0', '0'};
  bytes.insert(bytes.end(), aspect.begin(), aspect.end());
  bytes.insert(bytes.end(), {0, 0, 0});
  for (std::uint8_t fact : {10, 20, 30, 0, 0, 0}) {
    bytes.insert(bytes.end(), 7, 0);
    bytes.push_back(fact);
  }
  bytes.insert(bytes.end(), aspect.begin(), aspect.end());
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 0, 5});
  bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 0, 1, 0x2C});
  auto library = load(bytes);
  ASSERT_TRUE(library);
  auto photo = library->photoForIPhotoKey("42");
  ASSERT_TRUE(photo);
  EXPECT_EQ(photo->iPhotoKeyNumber(), 42);
  EXPECT_EQ(photo->imagePath(), "/x");
  EXPECT_EQ(photo->aspectRatio(), 1.5);
  EXPECT_EQ(photo->originalFileSize(), 10u);
  EXPECT_EQ(photo->originalMtime_sec(), 20);
  EXPECT_EQ(photo->originalMtime_nsec(), 30);
  EXPECT_EQ(photo->dateTaken().timeIntervalSinceReferenceDate(), 1.5);
  EXPECT_EQ(photo->rollId(), 5u);
  ASSERT_TRUE(library->scanDate());
  EXPECT_EQ(library->scanDate()->timeIntervalSinceReferenceDate(), 300.0);
}

}  // namespace
}  // namespace twinlens
