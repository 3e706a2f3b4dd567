// Runs the built twinlens-cli scan and trash on a folder of photo files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "sample/jpeg_builder.hpp"
#include "support/cli_run.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using ::testing::HasSubstr;

using testing::CliRun;
using testing::shellQuoted;
namespace fs = std::filesystem;

class ScanFolderTest : public ::testing::Test {
 protected:
  // The trash of the home file system, which GLib finds from both, is then under dir_.
  void SetUp() override {
    ::setenv("HOME", dir_.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir_.file("data").c_str(), 1);
  }
  CliRun cli(const std::string& arguments) { return testing::runCli(arguments); }
  // A set of three (one a retagged copy), a set of two and a lone photo; the kept ones, the
  // oldest, are written first.
  std::string makeFolder() {
    const Data a = sample::samplePhoto(1, 900, "Camera A"), b = sample::samplePhoto(2, 900, "A");
    dir_.write("P/a.jpg", a);
    dir_.write("P/b.jpg", b);
    dir_.write("P/c.jpg", sample::samplePhoto(3, 900, "Camera A"));
    dir_.write("P/x/a1.jpg", a);
    dir_.write("P/x/a2.jpg", sample::samplePhoto(1, 900, "Camera B"));
    dir_.write("P/x/b1.jpg", b);
    return dir_.file("P");
  }
  // The original path of every file in the trash, from its info file.
  std::set<std::string> trashed() const {
    std::set<std::string> paths;
    if (!fs::exists(dir_.file("data/Trash/info"))) return paths;
    for (const auto& info : fs::directory_iterator(dir_.file("data/Trash/info"))) {
      std::ifstream in(info.path());
      for (std::string line; std::getline(in, line);)
        if (line.starts_with("Path=")) paths.insert(line.substr(5));
    }
    return paths;
  }
  testing::TempDir dir_;
};

TEST_F(ScanFolderTest, JsonNamesEveryCopyWithItsReasonAndStaysValidForAnyName) {
  const Data photo = sample::samplePhoto(1, 900, "Camera A");
  dir_.write("Photos/a.jpg", photo);
  dir_.write("Photos/b/copy.jpg", photo);
  dir_.write("Photos/c/bad\xff\nname.jpg", sample::samplePhoto(1, 900, "Camera B"));
  dir_.write("Photos/notes.txt", photo);
  const std::string folder = dir_.file("Photos");
  CliRun run = cli("scan --no-progress --json --keep under:" + shellQuoted(folder + "/c") +
                   " --folder " + shellQuoted(folder));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string parts[] = {"\"library\": \"" + folder + "\"",
                               "\"photos\": 3",
                               "\"duplicates\": 2",
                               "\"key\": \"c/bad%FF\\u000aname.jpg\"",
                               "\"caption\": \"bad\\ufffd\\u000aname.jpg\"",
                               "\"imagePath\": \"" + folder + "/b/copy.jpg\"",
                               "\"event\": \"b\"",
                               "\"modifiedSHA1\": null",
                               "\"matchedBy\": \"original\"",
                               "\"sameFile\": false"};
  for (const std::string& part : parts) {
    SCOPED_TRACE(part);
    EXPECT_THAT(run.output, HasSubstr(part));
  }
  const std::size_t kept = run.output.find("\"sameFile\": true");
  EXPECT_LT(kept, run.output.find("\"key\": \"a.jpg\"")) << "the retagged file under c is kept";
  EXPECT_EQ(run.output.find("\"sameFile\": true", kept + 1), std::string::npos);

  run = cli("scan --no-progress --folder " + shellQuoted(folder));
  EXPECT_THAT(run.output,
              HasSubstr("b/copy.jpg  copy.jpg  " + folder + "/b/copy.jpg  (same file)"));
  EXPECT_THAT(run.output, HasSubstr("  (same picture, other metadata)\n"));
  EXPECT_EQ(cli("scan --folder " + shellQuoted(folder) + " --library x").status, 2);
  EXPECT_EQ(cli("scan --folder " + shellQuoted(folder) + " --keep biggest").status, 2);
}

TEST_F(ScanFolderTest, TrashMovesEveryDuplicateAndLeavesTheKeptPhotos) {
  const std::string folder = makeFolder();
  CliRun run = cli("trash --no-progress --yes --folder " + shellQuoted(folder));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Moved 3 photos to the trash.\n"));
  EXPECT_EQ(trashed(), (std::set<std::string>{folder + "/x/a1.jpg", folder + "/x/a2.jpg",
                                              folder + "/x/b1.jpg"}));
  for (const char* kept : {"a.jpg", "b.jpg", "c.jpg"})
    EXPECT_TRUE(fs::exists(folder + "/" + kept)) << kept;
  EXPECT_EQ(cli("scan --no-progress --folder " + shellQuoted(folder)).output, "0 duplicates\n");
  // The same path scanned as an iPhoto library would keep its records apart.
  const std::string cache = dir_.file("data/Twinlens/Data.noindex") + folder;
  EXPECT_TRUE(fs::exists(cache + "/folderLibrary.dat"));
  EXPECT_FALSE(fs::exists(cache + "/photoLibrary.dat"));
}

// Between the question and its answer a duplicate grows and the kept photo of another set goes;
// a trash that is no folder takes nothing.
TEST_F(ScanFolderTest, TrashLeavesWhatChangedSinceTheScanOrCannotBeMovedAndSaysWhy) {
  const std::string folder = makeFolder();
  testing::RunningCli trash({"trash", "--no-progress", "--folder", folder});
  ASSERT_TRUE(trash.waitForOutput("to the trash? [y/N] ")) << trash.output();
  std::ofstream(folder + "/x/a1.jpg", std::ios::app) << "grown";
  fs::remove(folder + "/b.jpg");
  trash.answer("y\n");
  EXPECT_EQ(trash.finish(), 1) << trash.output();
  for (const std::string& part :
       {std::string("Failed to move some photos\n2 photos could not be moved to the trash.\n"),
        folder + "/x/a1.jpg changed since it was hashed",
        "the kept photo " + folder + "/b.jpg is gone"})
    EXPECT_THAT(trash.output(), HasSubstr(part)) << part << "\n" << trash.output();
  EXPECT_EQ(trashed(), std::set<std::string>{folder + "/x/a2.jpg"});

  fs::remove_all(dir_.file("data/Trash"));
  dir_.write("data/Trash", std::string("no folder"));
  dir_.write("P/b.jpg", sample::samplePhoto(2, 900, "A"));  // now the newer copy
  CliRun run = cli("trash --no-progress --yes --folder " + shellQuoted(folder));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("1 photo could not be moved to the trash.\n"));
  EXPECT_THAT(run.output, HasSubstr(folder + "/b.jpg cannot be moved to the trash: the trash "
                                             "folder cannot be written"));
  EXPECT_TRUE(fs::exists(folder + "/b.jpg"));
}

TEST_F(ScanFolderTest, CtrlCStopsTheTrashBetweenTwoFilesAndKeepsTheRest) {
  constexpr std::size_t kCopies = 60;
  const Data photo = sample::samplePhoto(4, 300000, "Camera A");
  for (std::size_t i = 0; i < kCopies; ++i)
    dir_.write("P/" + std::to_string(100 + i) + ".jpg", photo);
  const std::string folder = dir_.file("P");
  testing::RunningCli trash({"trash", "--no-progress", "--log-level", "debug", "--folder", folder});
  ASSERT_TRUE(trash.waitForOutput("to the trash? [y/N] ")) << trash.output();
  // Every file is then hashed again before it moves, which leaves the run time to see Ctrl-C.
  for (const auto& entry : fs::directory_iterator(folder))
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now());
  trash.answer("y\n");
  ASSERT_TRUE(trash.waitForOutput("running script: <MoveFileToTrashCommand")) << trash.output();
  trash.signal(SIGINT);
  EXPECT_EQ(trash.finish(), 130) << trash.output();
  const std::size_t moved = trashed().size();
  EXPECT_LT(moved, kCopies - 1);
  EXPECT_THAT(trash.output(), HasSubstr("Cancelled: " + std::to_string(moved) + " photo"));
  const auto left = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  EXPECT_EQ(static_cast<std::size_t>(left), kCopies - moved);
}

}  // namespace
}  // namespace twinlens
