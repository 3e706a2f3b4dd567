#include "catalog/trash_guard.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "file_times.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

// A record of the file at `path` as a scan leaves it: hashed, with its size and time.
Photo hashedRecord(const std::string& path) {
  Photo photo(path);
  photo.setFromPlist(PListValue::dictionary({{"ImagePath", PListValue::text(path)}}));
  EXPECT_TRUE(photo.updateSHA1s());
  return photo;
}

TEST(TrashGuardTest, MovesOnlyACopyThatIsStillWhatWasHashedWhileItsKeptPhotoStays) {
  using Path = const std::string&;
  struct Case {
    const char* name;
    void (*change)(Path copy, Path kept);
    bool hashedAfterChange;  // records of the changed files, as a new scan would make
    std::int32_t refusal;    // 0: allowed
  } cases[] = {
      {"unchanged", [](Path, Path) {}, false, 0},
      {"touched, same bytes", [](Path c, Path) { ::utimensat(AT_FDCWD, c.c_str(), nullptr, 0); },
       false, 0},
      {"grown", [](Path c, Path) { std::ofstream(c, std::ios::app) << "more"; }, false,
       kTrashGuardDuplicateChangedError},
      {"replaced", [](Path c, Path) { std::ofstream(c) << "another one"; }, false,
       kTrashGuardDuplicateChangedError},
      {"a folder now", [](Path c, Path) { std::filesystem::remove(c), mkdir(c.c_str(), 0700); },
       false, kTrashGuardDuplicateChangedError},
      {"removed", [](Path c, Path) { std::filesystem::remove(c); }, false,
       kTrashGuardDuplicateGoneError},
      {"kept photo removed", [](Path, Path k) { std::filesystem::remove(k); }, false,
       kTrashGuardKeptPhotoGoneError},
      {"kept photo changed", [](Path, Path k) { std::ofstream(k) << "another one"; }, false,
       kTrashGuardKeptPhotoChangedError},
      {"hard link to the kept photo",
       [](Path c, Path k) { std::filesystem::remove(c), std::filesystem::create_hard_link(k, c); },
       false, kTrashGuardSameFileError},
      {"other pictures", [](Path c, Path) { std::ofstream(c) << "another one"; }, true,
       kTrashGuardNotMatchingError},
      {"JPEGs without image data",
       [](Path c, Path k) {
         for (Path p : {c, k}) std::ofstream(p) << std::string("\xff\xd8\xff\xfe\0\3\0\xff\xd9", 9);
       },
       true, kTrashGuardNotMatchingError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    std::string copy = dir.write("a/copy.jpg", "one picture"),
                kept = dir.write("kept", "one picture");
    for (Path p : {copy, kept}) testing::setFileTime(p, 1300000000, 5);
    Photo copyRecord = hashedRecord(copy), keptRecord = hashedRecord(kept);
    c.change(copy, kept);
    if (c.hashedAfterChange) copyRecord = hashedRecord(copy), keptRecord = hashedRecord(kept);
    ErrorRecord error;
    EXPECT_EQ(TrashGuard::mayMoveDuplicate(copyRecord, keptRecord, &error), c.refusal == 0);
    EXPECT_EQ(error.code(), c.refusal) << error.description();
    EXPECT_EQ(error.domain(), c.refusal ? TrashGuard::errorDomain() : "");
  }
}

}  // namespace
}  // namespace twinlens
