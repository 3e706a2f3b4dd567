#include "io/atomic_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "io/file_lock.hpp"

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::readFileBytes;
using testing::TempDir;

std::ptrdiff_t entriesIn(const std::string& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

TEST(AtomicFile, ReplacesWholeFileWithTheGivenModeOrLeavesTheOldOneAndNoTemporary) {
  TempDir dir;
  std::string path = dir.write("cache.dat", std::string("old contents"));
  Data fresh = {1, 2, 3};
  ASSERT_TRUE(writeDataAtomically(path, fresh, 0600));
  EXPECT_EQ(readFileBytes(path), fresh);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(entriesIn(dir.path()), 1) << "no temporary file is left behind";

  // A non-empty folder at the target path makes the rename fail.
  dir.write("target/keep", std::string("x"));
  ErrorRecord error;
  EXPECT_FALSE(writeDataAtomically(dir.file("target"), Data{1}, 0600, &error));
  EXPECT_EQ(error.domain(), "UnixErrorDomain");
  EXPECT_EQ(error.description().rfind(dir.file("target") + ": ", 0), 0u);
  EXPECT_EQ(entriesIn(dir.path()), 2);
  EXPECT_EQ(readFileBytes(dir.file("target/keep")), Data{'x'});
  EXPECT_FALSE(writeDataAtomically(dir.file("no/such/file"), Data{1}, 0600, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
}

TEST(AtomicFile, AWriteRemovesTheTemporaryFilesOfKilledWritesOnly) {
  TempDir dir;
  struct Case {
    const char* name;
    bool held;  // by a write still under way
    bool removed;
  };
  const Case cases[] = {{"cache.dat.aB3xYz", false, true},
                        {"cache.dat.Qw12er", true, false},
                        {"cache.dat.complete", false, false},
                        {"other.dat.aB3xYz", false, false}};
  std::vector<std::unique_ptr<FileLock>> writers;
  for (const Case& c : cases) {
    dir.write(c.name, std::string("partial"));
    if (!c.held) continue;
    writers.push_back(std::make_unique<FileLock>(dir.file(c.name)));
    ASSERT_EQ(writers.back()->tryLock(), FileLock::State::acquired);
  }
  ASSERT_TRUE(writeDataAtomically(dir.file("cache.dat"), Data{1}, 0600));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::filesystem::exists(dir.file(c.name)), !c.removed);
  }
}

}  // namespace
}  // namespace twinlens
