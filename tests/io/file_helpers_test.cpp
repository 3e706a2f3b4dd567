#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "io/file_helpers.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::readFileBytes;
using testing::TempDir;

struct stat statOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

void setTimes(const std::string& path, time_t seconds) {
  struct timeval times[2] = {{seconds, 250000}, {seconds, 250000}};
  ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

TEST(PathComponents, SplitLikePlatformPathStrings) {
  struct Case {
    const char* path;
    const char* parent;
    const char* last;
  };
  const Case cases[] = {
      {"/tmp/scratch.tiff", "/tmp", "scratch.tiff"},
      {"/tmp/lock/", "/tmp", "lock"},
      {"/tmp", "/", "tmp"},
      {"/", "/", "/"},
      {"scratch.tiff", "", "scratch.tiff"},
      {"a//b", "a", "b"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(stringByDeletingLastPathComponent(c.path), c.parent);
    EXPECT_EQ(lastPathComponent(c.path), c.last);
  }
}

TEST(EnsureParentPath, CreatesEveryMissingFolderTakesLinksToFoldersAndFailsOnAPlainFile) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("a").c_str(), 0755), 0);
  ErrorRecord error;
  EXPECT_TRUE(ensureParentPathExistsForPath(dir.file("a/b/c/file.dat"), &error))
      << error.description();
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
  EXPECT_FALSE(::access(dir.file("a/b/c/file.dat").c_str(), F_OK) == 0);
  EXPECT_TRUE(ensureParentPathExistsForPath(dir.file("a/b/c/file.dat"), &error))
      << "an existing folder is fine";
  ASSERT_EQ(::symlink(dir.file("a").c_str(), dir.file("link").c_str()), 0);
  EXPECT_TRUE(ensureParentPathExistsForPath(dir.file("link/file.dat")));
  EXPECT_TRUE(ensureParentPathExistsForPath("file.dat"));

  dir.write("p/q/r", std::string("not a folder"));
  dir.write("x/y", std::string("not a folder"));
  EXPECT_FALSE(ensureParentPathExistsForPath(dir.file("p/q/r/file.dat"), &error));
  EXPECT_TRUE(error.isErrorWithDomain("FileErrorDomain", kFileParentNotFolderError));
  EXPECT_EQ(error.description(),
            "parent path " + dir.file("p/q/r") + " exists and is not a directory");
  EXPECT_FALSE(ensureParentPathExistsForPath(dir.file("x/y/z/file.dat"), &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOTDIR)) << error.description();
  EXPECT_EQ(error.description(),
            "mkdir(" + dir.file("x/y/z") + "): " + std::string(std::strerror(ENOTDIR)));
}

TEST(TouchFile, GivesAFileNewWholeSecondTimesKeepingItsBytesOrFailsNamingTheCall) {
  TempDir dir;
  std::string path = dir.write("marker", std::string("keep me"));
  setTimes(path, 1000);
  time_t before = ::time(nullptr);
  ASSERT_TRUE(touchFileAtPath(path));
  struct stat info = statOf(path);
  EXPECT_GE(info.st_mtim.tv_sec, before);
  EXPECT_EQ(info.st_mtim.tv_nsec, 0);
  EXPECT_EQ(info.st_atim.tv_sec, info.st_mtim.tv_sec);
  EXPECT_EQ(readFileBytes(path), Data({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));

  if (::geteuid() != 0) {  // root may set the times of any file
    ErrorRecord error;
    EXPECT_FALSE(touchFileAtPath("/", &error));
    EXPECT_EQ(error.domain(), "UnixErrorDomain");
    EXPECT_EQ(error.description().rfind("utimes(/): ", 0), 0u) << error.description();
  }
}

TEST(UniqueTempDirectory, MakesAFreshFolderFromTheTemplateOrFailsWithMkdtempMessage) {
  TempDir dir;
  std::optional<std::string> created = "stale";
  ErrorRecord error;
  std::string pattern = dir.file("scratch-XXXXXX");
  ASSERT_TRUE(createUniqueTempDirectoryWithTemplate(pattern, &created, &error))
      << error.description();
  ASSERT_TRUE(created);
  EXPECT_EQ(created->size(), pattern.size());
  EXPECT_EQ(created->rfind(dir.file("scratch-"), 0), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(*created));
  std::optional<std::string> second;
  ASSERT_TRUE(createUniqueTempDirectoryWithTemplate(pattern, &second));
  EXPECT_NE(second, created);

  pattern = dir.file("no-placeholder");
  EXPECT_FALSE(createUniqueTempDirectoryWithTemplate(pattern, &second, &error));
  EXPECT_FALSE(second);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EINVAL));
  EXPECT_EQ(error.description(), "mkdtemp(" + pattern + "): " + std::strerror(EINVAL));
}

TEST(UniquePath, AddsTheFirstFreeNumberBeforeTheExtension) {
  TempDir dir;
  struct Case {
    const char* path;
    std::vector<const char*> existing;
    const char* expected;
  };
  const Case cases[] = {
      {"photo.jpg", {}, "photo.jpg"},
      {"photo.jpg", {"photo.jpg", "photo_2.jpg"}, "photo_3.jpg"},
      {"archive.tar.gz", {"archive.tar.gz"}, "archive.tar_2.gz"},
      {"README", {"README"}, "README_2"},
      {"notes.", {"notes."}, "notes._2"},
      {"odd.ext-ension", {"odd.ext-ension"}, "odd.ext-ension_2"},
      {"snake.my_ext9", {"snake.my_ext9"}, "snake_2.my_ext9"},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string folder = "case" + std::to_string(round++);
    ASSERT_EQ(::mkdir(dir.file(folder).c_str(), 0755), 0);
    for (const char* name : c.existing) dir.write(folder + "/" + name, std::string("x"));
    EXPECT_EQ(stringWithUniquePath(dir.file(folder + "/" + c.path)),
              dir.file(folder + "/" + c.expected));
  }
  ASSERT_EQ(::symlink(dir.file("nowhere").c_str(), dir.file("dangling.jpg").c_str()), 0);
  EXPECT_EQ(stringWithUniquePath(dir.file("dangling.jpg")), dir.file("dangling_2.jpg"))
      << "a dangling link counts as taken";
}

}  // namespace
}  // namespace twinlens
