#include "catalog/photo_library.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "file_times.hpp"
#include "io/double_io.hpp"
#include "io/file_helpers.hpp"
#include "io/string_io.hpp"
#include "library_fixture.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using testing::DocBytes;
using testing::LibraryTest;
using testing::LogCapture;
using testing::photoWith;
using testing::readFileBytes;

using PhotoList = std::vector<std::shared_ptr<Photo>>;

PhotoList somePhotos(int n) {
  PhotoList photos;
  for (int i = 0; i < n; ++i)
    photos.push_back(
        photoWith(std::to_string(i), "/lib/Originals/IMG_" + std::to_string(i) + ".JPG"));
  return photos;
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

bool exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

TEST_F(LibraryTest, CachePathRepeatsTheLibraryPathUnderTheAppFolder) {
  EXPECT_EQ(PhotoLibrary::cachePathForIPhotoLibraryPath("/Volumes/Photos/iPhoto Library"),
            dataHome() + "/Twinlens/Data.noindex/Volumes/Photos/iPhoto Library/photoLibrary.dat");
  PhotoLibrary a("/Users/a/Pictures/iPhoto Library", {}, std::nullopt);
  PhotoLibrary b("/Users/b/Pictures/iPhoto Library", {}, std::nullopt);
  EXPECT_NE(a.cachePath(), b.cachePath());
  EXPECT_EQ(a.iPhotoLibraryPath(), "/Users/a/Pictures/iPhoto Library");
  EXPECT_EQ(PhotoLibrary::cachePathForIPhotoLibraryPath("."),
            PhotoLibrary::cachePathForIPhotoLibraryPath(std::filesystem::current_path()))
      << "a relative path shares no folder with other libraries";
  EXPECT_EQ(PhotoLibrary::cachePathForIPhotoLibraryPath("/Volumes//Photos/./x/../iPhoto Library/"),
            PhotoLibrary::cachePathForIPhotoLibraryPath("/Volumes/Photos/iPhoto Library"));
}

TEST_F(LibraryTest, LaterPhotoWithTheSameKeyReplacesTheEarlierAndRemovalSavesNothing) {
  PhotoList nothing{nullptr};
  EXPECT_THROW(PhotoLibrary("/lib", nothing, std::nullopt), ProgrammingError);
  PhotoList photos = somePhotos(4);
  photos.push_back(photoWith("1", "/c.jpg"));
  PhotoLibrary library("/lib", photos, std::nullopt);
  EXPECT_EQ(library.count(), 4u);
  EXPECT_EQ(library.photoForIPhotoKey("1"), photos[4]) << "the very same record is kept";
  EXPECT_FALSE(library.photoForIPhotoKey("9"));
  library.removePhotosForIPhotoKeys(std::vector<std::string>{"1", "3", "99"});
  EXPECT_EQ(library.photoKeys(), (std::vector<std::string>{"0", "2"}));
  EXPECT_FALSE(exists(library.cachePath()));
}

TEST_F(LibraryTest, NoCacheFileGivesAnEmptyLibraryAndAnUnreadableOrBlockedOneAnError) {
  ErrorRecord error;
  auto library = PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/Never/Scanned", &error);
  ASSERT_TRUE(library) << error.description();
  EXPECT_EQ(library->count(), 0u);
  EXPECT_FALSE(library->scanDate());
  EXPECT_EQ(library->cachePath(), PhotoLibrary::cachePathForIPhotoLibraryPath("/Never/Scanned"));

  std::string blocked = dir().write("plainfile", std::string("x"));
  EXPECT_TRUE(
      PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/lib", blocked + "/photoLibrary.dat"))
      << "a file where a folder should be also means no cache";

  // A cache file whose status cannot be read is an error, not an empty library.
  std::string tooLong = dir().file(std::string(300, 'n') + "/photoLibrary.dat");
  EXPECT_FALSE(PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/lib", tooLong, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENAMETOOLONG)) << error.description();
  EXPECT_EQ(error.description(), tooLong + ": " + std::strerror(ENAMETOOLONG));

  std::string folder = dir().file("folder.dat");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  EXPECT_FALSE(PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/lib", folder, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EISDIR)) << error.description();

  dir().write("data/Twinlens", std::string("in the way"));
  EXPECT_FALSE(PhotoLibrary("/lib", somePhotos(1), std::nullopt).save(&error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOTDIR)) << error.description();
}

TEST_F(LibraryTest, RecordsAreWrittenInTextOrderOfTheirKeys) {
  PhotoList photos{photoWith("9", "/9.jpg"), photoWith("100", "/100.jpg"),
                   photoWith("10", "/10.jpg")};
  Data bytes = bytesOf(PhotoLibrary("/lib", photos, std::nullopt));
  auto keyAt = [&bytes](const std::string& key) {
    Data encoded;
    StringIO::write(key, encoded);
    return std::search(bytes.begin(), bytes.end(), encoded.begin(), encoded.end()) - bytes.begin();
  };
  EXPECT_LT(keyAt("10"), keyAt("100"));
  EXPECT_LT(keyAt("100"), keyAt("9"));
  auto loaded = load(bytes);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->photoKeys(), (std::vector<std::string>{"10", "100", "9"}));
}

TEST_F(LibraryTest, SaveMakesOwnerOnlyFoldersAndFilesAndLoadRoundTrips) {
  PhotoList photos = somePhotos(50);
  PhotoLibrary library("/deep/down/iPhoto Library", photos,
                       Date::withTimeIntervalSinceReferenceDate(700000000.9));
  ASSERT_FALSE(exists(dataHome()));
  ErrorRecord error;
  ASSERT_TRUE(library.save(&error)) << error.description();
  EXPECT_EQ(modeOf(library.cachePath()), 0600u);
  EXPECT_EQ(modeOf(library.cachePath() + ".complete"), 0600u);
  for (std::string folder = stringByDeletingLastPathComponent(library.cachePath());
       folder.size() >= dataHome().size(); folder = stringByDeletingLastPathComponent(folder))
    EXPECT_EQ(modeOf(folder), 0700u) << folder;
  EXPECT_EQ(readFileBytes(library.cachePath()), bytesOf(library));

  auto loaded =
      PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/deep/down/iPhoto Library", &error);
  ASSERT_TRUE(loaded) << error.description();
  ASSERT_EQ(loaded->count(), 50u);
  ASSERT_TRUE(loaded->scanDate());
  EXPECT_EQ(loaded->scanDate()->timeIntervalSinceReferenceDate(), 700000000.0)
      << "a fraction of a second comes back as the whole second before it";
  EXPECT_EQ(bytesOf(*loaded), readFileBytes(library.cachePath()));
}

TEST_F(LibraryTest, CompletionMarkerFollowsOnlyASaveWithScanDate) {
  PhotoLibrary partial("/lib", somePhotos(1), std::nullopt);
  ASSERT_TRUE(partial.save());
  std::string marker = partial.cachePath() + ".complete";
  EXPECT_FALSE(exists(marker)) << "a part-way save makes no marker";

  PhotoLibrary complete("/lib", somePhotos(1), Date::now());
  ASSERT_TRUE(complete.save());
  ASSERT_TRUE(exists(marker));
  EXPECT_EQ(readFileBytes(marker).size(), 0u);

  testing::setFileTime(marker, 1000);
  ASSERT_TRUE(partial.save());
  EXPECT_EQ(testing::mtimeOf(marker).tv_sec, 1000) << "a part-way save leaves the marker as it was";
  ASSERT_TRUE(complete.save());
  EXPECT_GT(testing::mtimeOf(marker).tv_sec, 1000)
      << "a complete save sets the marker's times to now";
}

// A save over a cache it would write again but for the scan date leaves a full save's bytes,
// and a file a full save would replace (another mode, a second link) is replaced.
TEST_F(LibraryTest, SaveOverANearlyEqualFileLeavesWhatAFullSaveLeaves) {
  const PhotoList photos = somePhotos(3);
  PhotoList changed = somePhotos(3);
  changed[2] = photoWith("2", "/lib/Originals/IMG_9.JPG");
  const Date earlier = Date::withTimeIntervalSinceReferenceDate(1e8);
  const std::string link = dir().file("link");
  struct Case {
    const char* name;
    const PhotoList& before;
    std::optional<Date> date;
    mode_t mode;
  };
  for (const Case& c :
       {Case{"only the date", photos, earlier, 0600}, Case{"last record", changed, earlier, 0600},
        Case{"part-way save", photos, std::nullopt, 0600},
        Case{"other mode", photos, earlier, 0644}, Case{"linked", photos, earlier, 01600}}) {
    SCOPED_TRACE(c.name);
    PhotoLibrary old("/lib", c.before, c.date);
    ASSERT_TRUE(old.save());
    ASSERT_EQ(::chmod(old.cachePath().c_str(), c.mode & 0777), 0);
    const bool linked = c.mode & 01000;
    ASSERT_TRUE(!linked || ::link(old.cachePath().c_str(), link.c_str()) == 0);
    PhotoLibrary library("/lib", photos, Date::withTimeIntervalSinceReferenceDate(2e8));
    ASSERT_TRUE(library.save());
    EXPECT_EQ(readFileBytes(library.cachePath()), bytesOf(library));
    EXPECT_EQ(modeOf(library.cachePath()), 0600u);
    EXPECT_TRUE(!linked || readFileBytes(link) == bytesOf(old)) << "the link is left alone";
  }
}

TEST_F(LibraryTest, FailedMarkerTouchIsOnlyLogged) {
  PhotoLibrary library("/lib", somePhotos(1), Date::now());
  std::string marker = library.cachePath() + ".complete";
  ASSERT_TRUE(ensureParentPathExistsForPath(marker));
  // A dangling link into a folder that does not exist: creating the marker fails.
  ASSERT_EQ(::symlink(dir().file("gone/marker").c_str(), marker.c_str()), 0);
  LogCapture capture(kLogLevelError);
  ErrorRecord error;
  EXPECT_TRUE(library.save(&error));
  std::vector<std::string> errors = capture.linesStartingWith("ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("error touching " + marker + ": " + std::strerror(ENOENT)),
            std::string::npos)
      << errors[0];
}

TEST_F(LibraryTest, FailedSaveLeavesThePreviousFileByteForByte) {
  PhotoLibrary small("/lib", somePhotos(1), std::nullopt);
  ASSERT_TRUE(small.save());
  Data before = readFileBytes(small.cachePath());
  std::string folder = small.cachePath().substr(0, small.cachePath().rfind('/'));

  // Limit the size of any file this process writes, so the new file cannot be written whole.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old;
  limit.rlim_cur = before.size() + 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  PhotoLibrary large("/lib", somePhotos(500), Date::now());
  ErrorRecord error;
  bool saved = large.save(&error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(saved);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EFBIG)) << error.description();
  EXPECT_EQ(readFileBytes(small.cachePath()), before);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"photoLibrary.dat"}) << "no temporary file is left";
}

TEST_F(LibraryTest, FileCutOffAtAnyByteGivesNoLibrary) {
  PhotoList photos = somePhotos(3);
  Data bytes = bytesOf(PhotoLibrary("/lib", photos, Date::withTimeIntervalSinceReferenceDate(5)));
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    std::string path = dir().write("cut.dat", Data(bytes.begin(), bytes.begin() + length));
    ErrorRecord error;
    EXPECT_FALSE(PhotoLibrary::initFromCacheWithIPhotoLibraryPath("/lib", path, &error));
    EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                        BufferedInputStream::kEndOfDataError))
        << error.domain() << ": " << error.description();
  }
}

// Photo "1" alone: version, count, its record (fields 1-6: two absent hashes, key "1", image path
// "/a", absent original path, thumbnail "/a.t"; the aspect ratio's text follows), no scan date.
TEST_F(LibraryTest, DamagedFilesFailWithTheirRecord) {
  const Data one = bytesOf(PhotoLibrary("/lib", {photoWith("1", "/a")}, std::nullopt));
  const Data record(one.begin() + 12, one.end() - 1);
  const std::size_t aspect = 12 + 2 + 10 + 11 + 1 + 13;
  ASSERT_EQ(one[aspect], 1);
  Data noAspect(one.begin(), one.begin() + static_cast<long>(aspect));
  noAspect.push_back(0);
  Data badKey = one;
  badKey[12 + 2 + 9] = 0xC0;
  const char* const kEnd = "BufferedInputStreamErrorDomain";
  struct Case {
    std::string name;
    Data bytes;
    const char* domain;
    std::int64_t code;
    std::string message;  // empty: not checked
  };
  std::vector<Case> cases = {
      {"count of 2^64-1", DocBytes().u(2, 4).u(UINT64_MAX).raw(record).u(1, 1).data, kEnd,
       BufferedInputStream::kEndOfDataError, ""},
      {"count one too many", DocBytes().u(2, 4).u(2).raw(record).u(1, 1).data, kEnd,
       BufferedInputStream::kEndOfDataError, ""},
      {"key length past 2 GiB",
       DocBytes().u(2, 4).u(1).u(0, 1).u(0, 1).u(1, 1).u(0xFFFFFFFFFFFFFFF0ull).raw({'1'}).data,
       "InputStreamErrorDomain", kInputStreamTooLongError, ""},
      {"key length of 2 GB",
       DocBytes().u(2, 4).u(1).u(0, 1).u(0, 1).u(1, 1).u(2000000000).raw({'1', '2'}).data, kEnd,
       BufferedInputStream::kEndOfDataError, ""},
      {"absent aspect ratio text", noAspect, "DoubleIOErrorDomain", DoubleIO::kNoTextError,
       "nil string; expected a double"},
      {"key of invalid UTF-8", badKey, "PhotoErrorDomain", Photo::kInvalidPhotoError,
       "cached photo record has no iPhotoKey"},
  };
  for (std::uint32_t version : {0u, 1u, 3u, 0x02000000u})
    cases.push_back({"version " + std::to_string(version),
                     DocBytes().u(version, 4).u(0).u(1, 1).data, "PhotoLibraryErrorDomain",
                     PhotoLibrary::kWrongVersionError,
                     "invalid PhotoLibrary version " + std::to_string(version) + "; expected 2"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrorRecord error;
    EXPECT_FALSE(load(c.bytes, &error));
    EXPECT_EQ(error.domain(), c.domain);
    EXPECT_EQ(error.code(), c.code);
    EXPECT_EQ(c.message.empty() ? c.message : error.description(), c.message);
  }
}

TEST_F(LibraryTest, InvalidUtf8MakesATextAbsent) {
  Data bytes = bytesOf(PhotoLibrary("/lib", {photoWith("1", "/a", "cap")}, std::nullopt));
  Data caption;
  StringIO::write("cap", caption);
  auto at = std::search(bytes.begin(), bytes.end(), caption.begin(), caption.end());
  ASSERT_NE(at, bytes.end());
  Data badCaption = bytes;
  badCaption[static_cast<std::size_t>(at - bytes.begin()) + 9] = 0xFF;
  auto loaded = load(badCaption);
  ASSERT_TRUE(loaded);
  EXPECT_FALSE(loaded->photoForIPhotoKey("1")->caption());
}

TEST_F(LibraryTest, DuplicateKeysInTheFileKeepTheLaterRecordAndTrailingBytesAreIgnored) {
  Data first = bytesOf(PhotoLibrary("/lib", {photoWith("1", "/first")}, std::nullopt));
  Data second = bytesOf(PhotoLibrary("/lib", {photoWith("1", "/second")}, std::nullopt));
  DocBytes bytes;
  bytes.u(2, 4).u(2).raw(Data(first.begin() + 12, first.end() - 1));
  bytes.raw(Data(second.begin() + 12, second.end() - 1)).raw({1, 'j', 'u', 'n', 'k'});
  auto loaded = load(bytes.data);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->count(), 1u);
  EXPECT_EQ(loaded->photoForIPhotoKey("1")->imagePath(), "/second");
  EXPECT_FALSE(loaded->scanDate());
}

TEST_F(LibraryTest, FailedLoadLeavesTheRecordsReadSoFarAndNoScanDate) {
  Data bytes = bytesOf(PhotoLibrary("/lib", somePhotos(3), Date::now()));
  auto library = std::make_shared<PhotoLibrary>("/lib", somePhotos(5), Date::now());
  Data cut(bytes.begin(), bytes.end() - 20);
  BufferedInputStream stream(std::make_shared<DataInputStream>(cut));
  EXPECT_FALSE(library->loadFromStream(stream));
  EXPECT_EQ(library->count(), 2u);
  EXPECT_FALSE(library->scanDate());
}

}  // namespace
}  // namespace twinlens
