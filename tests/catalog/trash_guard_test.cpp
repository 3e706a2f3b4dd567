#include "catalog/trash_guard.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::TempDir;

// A record of the file at `path` as a scan leaves it: hashed, with its size and time.
Photo hashedRecord(const std::string& path) {
  Photo photo(path);
  photo.setFromPlist(PListValue::dictionary({{"ImagePath", PListValue::text(path)}}));
  EXPECT_TRUE(photo.updateSHA1s());
  return photo;
}

void setOldMtime(const std::string& path) {
  struct timespec old[2] = {{1300000000, 5}, {1300000000, 5}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
}

TEST(TrashGuardTest, MovesOnlyADuplicateThatIsStillWhatWasHashedWhileItsKeptPhotoStays) {
  using Paths = const std::pair<std::string, std::string>&;  // duplicate, kept
  struct Case {
    const char* name;
    void (*change)(Paths);
    std::int32_t refusal;  // 0: allowed
  } cases[] = {
      {"unchanged", [](Paths) {}, 0},
      {"touched, same bytes", [](Paths p) { ::utimensat(AT_FDCWD, p.first.c_str(), nullptr, 0); },
       0},
      {"grown", [](Paths p) { std::ofstream(p.first, std::ios::app) << "more"; },
       kTrashGuardDuplicateChangedError},
      {"replaced", [](Paths p) { std::ofstream(p.first) << "another one"; },
       kTrashGuardDuplicateChangedError},
      {"replaced by a folder",
       [](Paths p) {
         std::filesystem::remove(p.first);
         std::filesystem::create_directory(p.first);
       },
       kTrashGuardDuplicateChangedError},
      {"removed", [](Paths p) { std::filesystem::remove(p.first); }, kTrashGuardDuplicateGoneError},
      {"kept photo removed", [](Paths p) { std::filesystem::remove(p.second); },
       kTrashGuardKeptPhotoGoneError},
      {"kept photo changed", [](Paths p) { std::ofstream(p.second) << "other picture"; },
       kTrashGuardKeptPhotoChangedError},
      {"hard link to the kept photo",
       [](Paths p) {
         std::filesystem::remove(p.first);
         std::filesystem::create_hard_link(p.second, p.first);
       },
       kTrashGuardSameFileError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::pair<std::string, std::string> paths{dir.write("a/copy.jpg", "one picture"),
                                                    dir.write("kept.jpg", "one picture")};
    setOldMtime(paths.first);
    setOldMtime(paths.second);
    Photo duplicate = hashedRecord(paths.first), kept = hashedRecord(paths.second);
    c.change(paths);
    ErrorRecord error;
    EXPECT_EQ(TrashGuard::mayMoveDuplicate(duplicate, kept, &error), c.refusal == 0);
    EXPECT_EQ(error.code(), c.refusal) << error.description();
    EXPECT_EQ(error.domain(), c.refusal ? TrashGuard::errorDomain() : "");
  }
}

TEST(TrashGuardTest, RefusesRecordsThatAreNotCopiesOfOnePicture) {
  TempDir dir;
  const std::string kNoImageData("\xff\xd8\xff\xfe\x00\x03\x00\xff\xd9", 9);
  struct Case {
    const char* name;
    std::string duplicate, kept;
    std::int32_t refusal;
  } cases[] = {
      {"other pictures", dir.write("a.jpg", "one"), dir.write("b.jpg", "two"),
       kTrashGuardNotMatchingError},
      {"JPEGs without image data", dir.write("c.jpg", kNoImageData),
       dir.write("d.jpg", kNoImageData), kTrashGuardNotMatchingError},
      {"one file twice", dir.write("e.jpg", "one"), dir.path() + "//e.jpg",
       kTrashGuardSameFileError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ErrorRecord error;
    EXPECT_FALSE(
        TrashGuard::mayMoveDuplicate(hashedRecord(c.duplicate), hashedRecord(c.kept), &error));
    EXPECT_EQ(error.code(), c.refusal) << error.description();
  }
}

}  // namespace
}  // namespace twinlens
