// Runs the built twinlens-cli trash and scan --source against libraries made here, where no
// iPhoto is needed: usage, refusals and the runs that never reach iPhoto.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "io/file_helpers.hpp"
#include "io/file_lock.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "support/cli_run.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testing::CliRun;
using testing::shellQuoted;

class TrashCommandTest : public ::testing::Test {
 protected:
  CliRun cli(const std::string& arguments, const std::string& shellFirst = "") {
    return testing::runCli(arguments, shellFirst);
  }
  std::string library(double copies) {
    sample::SampleLibrary sample(dir_.file("Library"), {.photoCount = 12,
                                                        .imageBytes = 2000,
                                                        .exactCopyFraction = copies,
                                                        .metadataCopyFraction = 0,
                                                        .editedAsOtherFraction = 0,
                                                        .missingCount = 0,
                                                        .unlistedCount = 0});
    EXPECT_TRUE(sample.write());
    return sample.libraryPath();
  }
  void setIPhotoLibrary(const std::string& path) {
    UserDefaults preferences(kIPhotoDefaultsDomain, dir_.file("config/twinlens"));
    preferences.setString(path, kIPhotoRootDirectoryKey);
    ASSERT_TRUE(preferences.synchronize());
  }

  testing::TempDir dir_;
  testing::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.file("config").c_str()};
  testing::ScopedEnv data_{"XDG_DATA_HOME", dir_.file("data").c_str()};
};

TEST_F(TrashCommandTest, BadUsageExitsWithTwo) {
  EXPECT_EQ(cli("trash --bogus").status, 2);
  EXPECT_EQ(cli("trash --library").status, 2);
  for (const char* clash : {"--folder x --library y", "--keep oldest", "--folder x --keep big"})
    EXPECT_EQ(cli(std::string("trash ") + clash).status, 2) << clash;
  CliRun source = cli("scan --source nowhere");
  EXPECT_EQ(source.status, 2);
  EXPECT_THAT(source.output, HasSubstr("--source needs file or applescript"));
  CliRun help = cli("trash --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.output, HasSubstr("usage: twinlens-cli trash"));
}

TEST_F(TrashCommandTest, RefusesALibraryThatIPhotoDoesNotHaveOpen) {
  std::string path = library(0.2);
  CliRun unset = cli("trash --yes --library " + shellQuoted(path));
  EXPECT_EQ(unset.status, 1);
  EXPECT_THAT(unset.output, HasSubstr("RootDirectory preference is not set"));

  setIPhotoLibrary(dir_.file("Other Library"));
  CliRun other = cli("trash --yes --library " + shellQuoted(path));
  EXPECT_EQ(other.status, 1);
  EXPECT_THAT(other.output, HasSubstr("the photos would be looked up in the wrong library"));
  EXPECT_THAT(other.output, Not(HasSubstr("Moving"))) << "nothing was scanned or sent";

  CliRun asked = cli("scan --source applescript --library " + shellQuoted(path));
  EXPECT_EQ(asked.status, 1);
  EXPECT_THAT(asked.output, HasSubstr("the photos would be looked up in the wrong library"));
}

TEST_F(TrashCommandTest, ALibraryWithoutDuplicatesSendsNothing) {
  std::string path = library(0);
  setIPhotoLibrary(path);
  CliRun run = cli("trash --yes --no-progress");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("No duplicates in " + path + "; nothing to move."));
}

TEST_F(TrashCommandTest, DecliningTheQuestionMovesNothing) {
  std::string path = library(0.2);
  setIPhotoLibrary(path + "/");
  dir_.write("no", std::string("n\n"));
  CliRun run = cli("trash --no-progress --library " + shellQuoted(path) + " < " +
                   shellQuoted(dir_.file("no")));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Move 2 duplicates of " + path + " to iPhoto's Trash? [y/N]"));
  EXPECT_THAT(run.output, HasSubstr("Nothing was moved."));

  CliRun closed = cli("trash --no-progress < /dev/null");
  EXPECT_EQ(closed.status, 1) << "no answer is no";
}

// The scan holds the lock in the cache folder of the library's absolute path, however the
// library was named, and waits while another process holds it.
TEST_F(TrashCommandTest, ASecondScanOfALibraryWaitsForTheFirstAndSaysSo) {
  std::string path = library(0.2);
  std::string lockPath = dir_.file("data/Twinlens/Data.noindex" + path + "/scan.lock");
  ASSERT_TRUE(ensureParentPathExistsForPath(lockPath));
  std::optional<FileLock> firstScan(std::in_place, lockPath);
  ASSERT_EQ(firstScan->tryLock(), FileLock::State::acquired);
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(path);
  testing::RunningCli scan({"scan", "--no-progress", "--library", "."});
  std::filesystem::current_path(here);
  const bool waited = scan.waitForOutput("Waiting for another scan of this library to finish...");
  firstScan.reset();
  EXPECT_TRUE(waited) << scan.output();
  EXPECT_EQ(scan.finish(), 0) << scan.output();
  EXPECT_THAT(scan.output(), HasSubstr("\n2 duplicates\n"));
}

TEST_F(TrashCommandTest, AFullStandardOutputFailsEveryCommandAndAFileSizeLimitFailsOnlyTheSave) {
  std::string path = library(0.2);
  setIPhotoLibrary(path);
  // 512 bytes: less than either cache of the library.
  CliRun limited = cli("scan --no-progress", "ulimit -f 1; ");
  EXPECT_EQ(limited.status, 0) << limited.output;
  EXPECT_THAT(limited.output, HasSubstr("File too large"));
  EXPECT_THAT(limited.output, HasSubstr("2 duplicates"));

  const std::string commands[] = {"scan --no-progress",
                                  "scan --json --no-progress",
                                  "cache --library " + shellQuoted(path),
                                  "hash " + shellQuoted(path + "/AlbumData.xml"),
                                  "defaults read",
                                  "trash --help"};
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    EXPECT_EQ(cli(command + " >/dev/full").status, 1);
  }
}

}  // namespace
}  // namespace twinlens
