#include "catalog/photo.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "crypto/sha1_hash.hpp"
#include "file_times.hpp"
#include "sample/jpeg_builder.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using sample::samplePhoto;
using testing::LogCapture;
using testing::mtimeOf;
using testing::replaceKeepingStat;
using testing::setFileTime;
using testing::TempDir;

PListValue entryWith(std::initializer_list<std::pair<const std::string, PListValue>> fields) {
  return PListValue::dictionary(PListValue::Dictionary(fields));
}

PListValue unedited(const std::string& imagePath) {
  return entryWith({{"ImagePath", PListValue::text(imagePath)}});
}

PListValue edited(const std::string& imagePath, const std::string& originalPath) {
  return entryWith({{"ImagePath", PListValue::text(imagePath)},
                    {"OriginalPath", PListValue::text(originalPath)}});
}

std::string photoFile(const TempDir& dir, const std::string& name, std::uint32_t seed,
                      std::int64_t sec = 1300000000, std::int64_t nsec = 123456789) {
  std::string path = dir.write(name, samplePhoto(seed, 3000, "Camera " + std::to_string(seed)));
  setFileTime(path, sec, nsec);
  return path;
}

std::string expectedHash(const std::string& path) {
  return *SHA1Hash::hashPhoto(path);
}

TEST(Photo, NewRecordHasOnlyItsKeyAndSortsByItsNumber) {
  Photo photo("12");
  EXPECT_FALSE(photo.originalFileName());
  photo.setFromPlist(edited("/m.jpg", "/o.jpg"));
  EXPECT_EQ(photo.description(),
            "<Photo: key=12 originalPath=/o.jpg modifiedPath=/m.jpg originalSHA1=(null) "
            "modifiedSHA1=(null)>");

  EXPECT_EQ(Photo("9").compareByIPhotoKey(Photo("10")), std::strong_ordering::less);
  EXPECT_EQ(Photo("10").compareByIPhotoKey(Photo("9")), std::strong_ordering::greater);
  EXPECT_EQ(Photo("10").compareByIPhotoKey(Photo("10")), std::strong_ordering::equal);
  EXPECT_EQ(Photo("010").compareByIPhotoKey(Photo("-5")), std::strong_ordering::less)
      << "a key that stands for no number sorts first";
}

TEST(Photo, KeyNumberIsTheKeyOnlyWhenItReadsBackAsTheSameDecimal) {
  struct Case {
    const char* key;
    std::optional<std::int32_t> number;
  };
  const Case cases[] = {
      {"123", 123},
      {"00123", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {" 7", std::nullopt},
      {"+5", std::nullopt},
      {"-0", std::nullopt},
      {"12x", std::nullopt},
      {"2147483648", std::nullopt},
      {"4294967301", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(photoKeyNumber(c.key), c.number);
    EXPECT_EQ(Photo(c.key).iPhotoKeyNumber(), c.number);
  }
  Photo photo("1");
  photo.setIPhotoKey("42");
  EXPECT_EQ(photo.iPhotoKey(), "42");
  EXPECT_EQ(photo.iPhotoKeyNumber(), 42);
}

PListValue fullEntry() {
  return entryWith({
      {"ImagePath", PListValue::text("/lib/Modified/2009/IMG_1.JPG")},
      {"OriginalPath", PListValue::text("/lib/Originals/2009/IMG_1.JPG")},
      {"ThumbPath", PListValue::text("/lib/Data/2009/IMG_1.jpg")},
      {"Caption", PListValue::text("Beach")},
      {"Comment", PListValue::text("")},
      {"ImageType", PListValue::text("JPEG")},
      {"Aspect Ratio", PListValue::real(1.5)},
      {"DateAsTimerInterval", PListValue::real(250000000.25)},
      {"Roll", PListValue::integer(77)},
      {"Unrelated", PListValue::boolean(true)},
  });
}

TEST(Photo, SetFromPlistTakesEveryKnownField) {
  Photo photo("5");
  photo.setFromPlist(fullEntry());
  EXPECT_EQ(photo.imagePath(), "/lib/Modified/2009/IMG_1.JPG");
  EXPECT_EQ(photo.originalPath(), "/lib/Originals/2009/IMG_1.JPG");
  EXPECT_EQ(photo.modifiedPath(), "/lib/Modified/2009/IMG_1.JPG");
  EXPECT_EQ(photo.originalFileName(), "IMG_1.JPG");
  EXPECT_EQ(photo.thumbPath(), "/lib/Data/2009/IMG_1.jpg");
  EXPECT_EQ(photo.caption(), "Beach");
  EXPECT_EQ(photo.comment(), "") << "an empty text is not an absent one";
  EXPECT_EQ(photo.imageType(), "JPEG");
  EXPECT_EQ(photo.aspectRatio(), 1.5);
  EXPECT_EQ(photo.dateTaken().timeIntervalSinceReferenceDate(), 250000000.25);
  EXPECT_EQ(photo.rollId(), 77u);
}

TEST(Photo, NumbersMayComeAsIntegerRealOrText) {
  struct Case {
    const char* name;
    PListValue aspect;
    PListValue roll;
    double expectedAspect;
    std::uint64_t expectedRoll;
  };
  const Case cases[] = {
      {"integer and integer", PListValue::integer(2), PListValue::integer(9), 2.0, 9},
      {"texts", PListValue::text("0.75"), PListValue::text(" 12"), 0.75, 12},
      {"real roll truncates", PListValue::real(1.25), PListValue::real(3.9), 1.25, 3},
      {"negative roll widens with its sign", PListValue::real(1), PListValue::integer(-1), 1.0,
       0xFFFFFFFFFFFFFFFFull},
      {"roll beyond 32 bits is held to the range", PListValue::real(1),
       PListValue::integer(std::int64_t{1} << 33), 1.0, 2147483647},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Photo photo("1");
    photo.setFromPlist(entryWith({{"Aspect Ratio", c.aspect}, {"Roll", c.roll}}));
    EXPECT_EQ(photo.aspectRatio(), c.expectedAspect);
    EXPECT_EQ(photo.rollId(), c.expectedRoll);
  }
}

TEST(Photo, MissingOrMistypedKeysLeaveFieldsAsTheyWereButRollAndOriginalPath) {
  Photo photo("1");
  photo.setFromPlist(entryWith({{"ImagePath", PListValue::text("/a.jpg")},
                                {"OriginalPath", PListValue::text("/o.jpg")},
                                {"Caption", PListValue::text("first")},
                                {"Aspect Ratio", PListValue::real(1.5)},
                                {"Roll", PListValue::integer(4)}}));
  photo.setFromPlist(entryWith({}));
  photo.setFromPlist(entryWith({{"ImagePath", PListValue::integer(3)},
                                {"Caption", PListValue::array({})},
                                {"Aspect Ratio", PListValue::dictionary({})},
                                {"Roll", PListValue::date(Date())}}));
  photo.setFromPlist(PListValue::text("not an entry"));
  EXPECT_EQ(photo.imagePath(), "/a.jpg");
  EXPECT_EQ(photo.caption(), "first");
  EXPECT_EQ(photo.aspectRatio(), 1.5);
  EXPECT_EQ(photo.originalPath(), "/a.jpg");
  EXPECT_EQ(photo.rollId(), 0u);
}

TEST(Photo, UpdateSHA1sHashesBothFilesOfAnEditedPhotoAndZeroesTheModifiedSideOfAnUnedited) {
  TempDir dir;
  std::string original = photoFile(dir, "Originals/a.jpg", 1, 1300000000, 987654321);
  std::string modified = photoFile(dir, "Modified/a.jpg", 2, 1300000500, 2);
  Photo photo("1");
  photo.setFromPlist(edited(modified, original));
  ErrorRecord error;
  ASSERT_TRUE(photo.updateSHA1s(&error)) << error.description();
  EXPECT_EQ(photo.originalSHA1(), expectedHash(original));
  EXPECT_EQ(photo.modifiedSHA1(), expectedHash(modified));
  EXPECT_EQ(photo.modifiedFileSize(), testing::readFileBytes(modified).size());
  EXPECT_EQ(photo.modifiedMtime_sec(), 1300000500);
  EXPECT_EQ(photo.modifiedMtime_nsec(), 2);

  // The original's time goes to another file, both times, to the microsecond.
  std::string other = dir.write("copy.jpg", std::string("copy"));
  ASSERT_TRUE(photo.applyOriginalMTimeToFile(other, &error)) << error.description();
  struct stat info {};
  ASSERT_EQ(::stat(other.c_str(), &info), 0);
  for (const timespec& time : {info.st_mtim, info.st_atim}) {
    EXPECT_EQ(time.tv_sec, 1300000000);
    EXPECT_EQ(time.tv_nsec, 987654000);
  }
  std::string missing = dir.file("nope.jpg");
  EXPECT_FALSE(photo.applyOriginalMTimeToFile(missing, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_EQ(error.description(), "utimes(" + missing + "): " + std::strerror(ENOENT));

  photo.setFromPlist(unedited(original));
  ASSERT_TRUE(photo.updateSHA1s());
  EXPECT_EQ(photo.originalSHA1(), expectedHash(original));
  EXPECT_FALSE(photo.modifiedSHA1());
  EXPECT_EQ(photo.modifiedFileSize(), 0u);
  EXPECT_EQ(photo.modifiedMtime_sec(), 0);
  EXPECT_EQ(photo.modifiedMtime_nsec(), 0);
}

TEST(Photo, OnlyAChangeOfSizeSecondsOrNanosecondsCausesANewHash) {
  constexpr std::int64_t kSec = 1300000000, kNsec = 123456789;
  struct Case {
    const char* name;
    std::function<void(const std::string&)> change;
  };
  const Case cases[] = {
      {"no change", nullptr},
      {"nanoseconds only", [](const std::string& path) { setFileTime(path, kSec, kNsec + 1); }},
      {"seconds only", [](const std::string& path) { setFileTime(path, kSec + 1, kNsec); }},
      {"size only",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary | std::ios::app).put('\0');
         setFileTime(path, kSec, kNsec);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string original = photoFile(dir, "o.jpg", 1, kSec, kNsec);
    std::string modified = photoFile(dir, "m.jpg", 2, kSec, kNsec);
    Photo photo("1");
    photo.setFromPlist(edited(modified, original));
    ASSERT_TRUE(photo.updateSHA1s());
    const std::optional<std::string> originalHash = photo.originalSHA1();
    const std::optional<std::string> modifiedHash = photo.modifiedSHA1();
    replaceKeepingStat(original, 5);
    replaceKeepingStat(modified, 6);
    if (c.change) {
      c.change(original);
      c.change(modified);
    }
    LogCapture capture(kLogLevelTrace);
    ASSERT_TRUE(photo.updateSHA1s());
    EXPECT_EQ(capture.linesStartingWith("DEBUG").size(), c.change ? 2u : 0u);
    if (!c.change) {
      EXPECT_EQ(photo.originalSHA1(), originalHash) << "the original was read again";
      EXPECT_EQ(photo.modifiedSHA1(), modifiedHash) << "the modified file was read again";
      std::vector<std::string> traces = capture.linesStartingWith("TRACE");
      ASSERT_EQ(traces.size(), 2u);
      EXPECT_TRUE(traces[0].ends_with("NOT re-hashing original " + original)) << traces[0];
      EXPECT_TRUE(traces[1].ends_with("NOT re-hashing modified " + modified)) << traces[1];
      continue;
    }
    EXPECT_EQ(photo.originalSHA1(), expectedHash(original));
    EXPECT_EQ(photo.modifiedSHA1(), expectedHash(modified));
    EXPECT_EQ(photo.originalMtime_sec(), mtimeOf(original).tv_sec);
    EXPECT_EQ(photo.originalMtime_nsec(), mtimeOf(original).tv_nsec);
    EXPECT_EQ(photo.modifiedFileSize(), testing::readFileBytes(modified).size());
  }
}

TEST(Photo, AChangedPathClearsBothHashesEvenWhenTheFilesMatch) {
  enum Change { kSamePaths, kImagePath, kOriginalPath, kNoOriginalPath };
  for (Change change : {kSamePaths, kImagePath, kOriginalPath, kNoOriginalPath}) {
    SCOPED_TRACE(change);
    TempDir dir;
    std::string original = photoFile(dir, "o.jpg", 1);
    std::string modified = photoFile(dir, "m.jpg", 2);
    Photo photo("1");
    photo.setFromPlist(edited(modified, original));
    ASSERT_TRUE(photo.updateSHA1s());
    std::string moved = dir.file("moved.jpg");
    ASSERT_EQ(::link((change == kImagePath ? modified : original).c_str(), moved.c_str()), 0);
    const PListValue entries[] = {entryWith({{"ImagePath", PListValue::text(modified)},
                                             {"OriginalPath", PListValue::text(original)},
                                             {"Caption", PListValue::text("renamed")}}),
                                  edited(moved, original), edited(modified, moved),
                                  unedited(modified)};
    photo.setFromPlist(entries[change]);
    EXPECT_EQ(photo.originalSHA1().has_value(), change == kSamePaths);
    EXPECT_EQ(photo.modifiedSHA1().has_value(), change == kSamePaths);
    EXPECT_EQ(photo.originalFileSize(), testing::readFileBytes(original).size())
        << "the recorded file facts stay";
    if (change == kSamePaths) continue;
    replaceKeepingStat(moved, 9);
    ASSERT_TRUE(photo.updateSHA1s());
    EXPECT_EQ(photo.originalSHA1(), expectedHash(photo.originalPath().value()));
    if (change == kNoOriginalPath) {
      EXPECT_EQ(photo.originalPath(), modified) << "the photo is unedited now";
      EXPECT_FALSE(photo.modifiedPath());
      EXPECT_FALSE(photo.modifiedSHA1());
    } else {
      EXPECT_EQ(photo.modifiedSHA1(), expectedHash(photo.modifiedPath().value()));
    }
  }
}

TEST(Photo, UpdateSHA1sFailures) {
  TempDir dir;
  std::string empty = dir.write("empty.jpg", Data{});
  std::string good = photoFile(dir, "good.jpg", 1);
  std::string missing = dir.file("missing.jpg");
  struct Case {
    const char* name;
    std::optional<PListValue> entry;
    const char* domain;
    std::int64_t code;
    std::string message;
  };
  const Case cases[] = {
      {"no paths at all", std::nullopt, "PhotoErrorDomain", Photo::kInvalidPhotoError,
       "missing originalPath for photo <Photo: key=3 originalPath=(null) modifiedPath=(null) "
       "originalSHA1=(null) modifiedSHA1=(null)>"},
      {"empty image path", unedited(""), "PhotoErrorDomain", Photo::kInvalidPhotoError,
       "missing originalPath for photo <Photo: key=3 originalPath= modifiedPath=(null) "
       "originalSHA1=(null) modifiedSHA1=(null)>"},
      {"missing original", unedited(missing), "UnixErrorDomain", ENOENT,
       missing + ": " + std::strerror(ENOENT)},
      {"empty original", unedited(empty), "PhotoErrorDomain", Photo::kInvalidPhotoError,
       empty + " is an empty file"},
      {"missing modified", edited(missing, good), "UnixErrorDomain", ENOENT,
       missing + ": " + std::strerror(ENOENT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Photo photo("3");
    if (c.entry) photo.setFromPlist(*c.entry);
    LogCapture capture(kLogLevelTrace);
    ErrorRecord error;
    EXPECT_FALSE(photo.updateSHA1s(&error));
    EXPECT_EQ(error.domain(), c.domain);
    EXPECT_EQ(error.code(), c.code);
    EXPECT_EQ(error.description(), c.message);
    EXPECT_TRUE(capture.contains(c.message)) << "the record is also written at Trace";
  }
}

TEST(Photo, AFailedHashIsAbsentAndAnEmptyModifiedFileIsHashed) {
  TempDir dir;
  std::string good = photoFile(dir, "good.jpg", 1);
  Photo photo("3");
  photo.setFromPlist(edited(dir.file("missing.jpg"), good));
  EXPECT_FALSE(photo.updateSHA1s());
  EXPECT_EQ(photo.originalSHA1(), expectedHash(good)) << "the new original hash is kept";
  EXPECT_FALSE(photo.modifiedSHA1());
  photo.setFromPlist(edited(dir.write("empty.jpg", Data{}), good));
  ASSERT_TRUE(photo.updateSHA1s());
  EXPECT_EQ(photo.modifiedSHA1(), SHA1Hash::hashData(Data{}));
  EXPECT_EQ(photo.modifiedFileSize(), 0u);

  // The photo hash never follows a symbolic link, though the file status does.
  std::string target = photoFile(dir, "elsewhere.jpg", 2, 1400000000, 0);
  ASSERT_EQ(::unlink(good.c_str()), 0);
  ASSERT_EQ(::symlink(target.c_str(), good.c_str()), 0);
  ASSERT_TRUE(photo.originalSHA1());
  ErrorRecord error;
  EXPECT_FALSE(photo.updateSHA1s(&error));
  EXPECT_FALSE(photo.originalSHA1());
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ELOOP)) << error.description();
}

TEST(Photo, EqualityComparesTheListedFields) {
  struct Case {
    const char* name;
    const char* key;
    PListValue change;
    bool equal;
  };
  const Case cases[] = {
      {"same", "1", entryWith({}), true},
      {"other key", "2", entryWith({}), false},
      {"other thumbnail", "1", entryWith({{"ThumbPath", PListValue::text("/u.jpg")}}), false},
      {"other caption", "1", entryWith({{"Caption", PListValue::text("d")}}), false},
      {"other comment", "1", entryWith({{"Comment", PListValue::text("m")}}), false},
      {"other type", "1", entryWith({{"ImageType", PListValue::text("PNG")}}), false},
      {"other date", "1", entryWith({{"DateAsTimerInterval", PListValue::real(11)}}), false},
      {"other roll", "1", entryWith({{"Roll", PListValue::integer(3)}}), false},
      {"other original", "1", entryWith({{"OriginalPath", PListValue::text("/p.jpg")}}), false},
      {"other modified", "1", entryWith({{"ImagePath", PListValue::text("/n.jpg")}}), false},
      {"aspect ratio is not compared", "1", entryWith({{"Aspect Ratio", PListValue::real(3)}}),
       true},
  };
  Photo base("1");
  base.setFromPlist(fullEntry());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PListValue::Dictionary changed = *fullEntry().dictionaryValue();
    for (const auto& [key, value] : *c.change.dictionaryValue())
      changed.insert_or_assign(key, value);
    Photo other(c.key);
    other.setFromPlist(PListValue::dictionary(std::move(changed)));
    EXPECT_EQ(base.isEqualToPhoto(other), c.equal);
    EXPECT_EQ(other.isEqualToPhoto(base), c.equal);
    EXPECT_EQ(base.isEqual(&other), c.equal);
    if (c.equal) {
      EXPECT_EQ(base.hash(), other.hash());
    }
  }
}

TEST(Photo, AbsentTextsOtherThanModifiedPathAndDifferentHashesMakeRecordsUnequal) {
  Photo a("1"), b("1");
  a.setFromPlist(unedited("/a.jpg"));
  b.setFromPlist(unedited("/a.jpg"));
  EXPECT_FALSE(a.isEqualToPhoto(b)) << "no thumbnail, caption, comment or type on either side";
  EXPECT_TRUE(a.isEqual(&a)) << "the same record is always equal to itself";
  EXPECT_FALSE(a.isEqual(nullptr));

  PListValue rest = entryWith({{"ThumbPath", PListValue::text("/t")},
                               {"Caption", PListValue::text("c")},
                               {"Comment", PListValue::text("n")},
                               {"ImageType", PListValue::text("JPEG")}});
  a.setFromPlist(rest);
  b.setFromPlist(rest);
  EXPECT_TRUE(a.isEqualToPhoto(b)) << "absent hashes and absent modified paths match";
  EXPECT_EQ(a.hash(), 0u);

  TempDir dir;
  std::string file = photoFile(dir, "a.jpg", 1);
  for (Photo* photo : {&a, &b}) photo->setFromPlist(edited(file, file));
  ASSERT_TRUE(a.updateSHA1s());
  EXPECT_FALSE(a.isEqualToPhoto(b)) << "one side hashed, the other not";
  ASSERT_TRUE(b.updateSHA1s());
  EXPECT_TRUE(a.isEqualToPhoto(b));
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_NE(a.hash(), 0u);
}

}  // namespace
}  // namespace twinlens
