// The whole road against the stand-in iPhoto: scan a sample library, have twinlens-cli trash
// move every duplicate to iPhoto's Trash, rescan, then put the trash back with the stand-in's
// --restore-trash and find every file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "iphoto/iphoto_scripts.hpp"
#include "iphoto_standin/sample_catalogue.hpp"
#include "platform/plist_reader.hpp"
#include "platform/process.hpp"
#include "platform/socket_script_host.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "support/cli_run.hpp"
#include "support/scoped_env.hpp"
#include "support/stand_in.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testing::CliRun;
using testing::RunningCli;
using testing::shellQuoted;
using testing::standInExecutable;
using testing::standInPid;
namespace fs = std::filesystem;

class TrashEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"config", "data", "runtime"}) fs::create_directories(dir_.file(name));
    fs::permissions(dir_.file("runtime"), fs::perms::owner_all);
    // This process quits the stand-in itself, sharing the command line's folders (see below).
    ScriptHost::setStandard(std::make_shared<SocketScriptHost>());
    ASSERT_TRUE(fs::exists(standInExecutable())) << standInExecutable();
  }
  void TearDown() override { quitStandIn(); }

  // The command line inherits the folders set below.
  CliRun cli(const std::string& arguments) { return testing::runCli(arguments); }

  // A library with every kind of duplicate, opened as iPhoto's current library.
  const sample::SampleLibrary& makeLibrary() {
    // Photos the scan drops would put log lines into the output compared below.
    library_ = std::make_unique<sample::SampleLibrary>(
        dir_.file("Photo Library"),
        sample::SampleLibraryOptions{
            .photoCount = 40, .imageBytes = 3000, .missingCount = 0, .unlistedCount = 0});
    EXPECT_TRUE(library_->write());
    UserDefaults preferences(kIPhotoDefaultsDomain);
    preferences.setString(library_->libraryPath(), kIPhotoRootDirectoryKey);
    EXPECT_TRUE(preferences.synchronize());
    return *library_;
  }

  // Quits the stand-in when it runs and waits until it has gone (its socket goes last).
  void quitStandIn() {
    std::optional<std::string> socket = scriptSocketPath("iPhoto");
    if (!socket || !fs::exists(*socket)) return;
    ErrorRecord error;
    EXPECT_TRUE(QuitIPhotoScript().execute(&error)) << error.description();
    for (int i = 0; i < 1000 && fs::exists(*socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(*socket)) << "the stand-in did not quit";
    // The socket goes before the process does; a next test must not find the old one.
    for (int i = 0; i < 1000 && Process::isProcessRunningWithBundleIdentifier("com.apple.iPhoto");
         ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::string duplicateCountLine(const CliRun& run) {
    std::size_t end = run.output.rfind('\n', run.output.size() - 2);
    return run.output.substr(end + 1);
  }

  testing::TempDir dir_;
  testing::ScopedEnv configHome_{"XDG_CONFIG_HOME", dir_.file("config").c_str()};
  testing::ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("data").c_str()};
  testing::ScopedEnv runtimeDir_{"XDG_RUNTIME_DIR", dir_.file("runtime").c_str()};
  std::unique_ptr<sample::SampleLibrary> library_;
};

TEST_F(TrashEndToEndTest, MovesEveryDuplicateAndRestoringTheTrashBringsAllBack) {
  const sample::SampleLibrary& library = makeLibrary();
  const std::size_t duplicates = library.expectedDuplicateKeys().size();
  ASSERT_GT(duplicates, 2u);
  std::map<std::string, Data> before = standin::testing::imageFiles(library.libraryPath());
  std::optional<PListValue> catalogueBefore = PListReader::parseFile(library.albumDataPath());
  ASSERT_TRUE(catalogueBefore);

  CliRun scan = cli("scan --no-progress");
  ASSERT_EQ(scan.status, 0) << scan.output;
  EXPECT_EQ(duplicateCountLine(scan), std::to_string(duplicates) + " duplicates\n");
  // Asked of iPhoto itself, the library has the same duplicates.
  CliRun asked = cli("scan --no-progress --source applescript");
  ASSERT_EQ(asked.status, 0) << asked.output;
  EXPECT_EQ(duplicateCountLine(asked), duplicateCountLine(scan));

  CliRun trash = cli("trash --yes --no-progress");
  ASSERT_EQ(trash.status, 0) << trash.output;
  EXPECT_THAT(trash.output, HasSubstr("Do not manipulate iPhoto while moving is in progress"));
  EXPECT_THAT(trash.output,
              HasSubstr("Moved " + std::to_string(duplicates) + " photos to the iPhoto Trash."));

  CliRun rescan = cli("scan --no-progress");
  ASSERT_EQ(rescan.status, 0) << rescan.output;
  EXPECT_EQ(rescan.output, "0 duplicates\n");

  quitStandIn();
  ASSERT_EQ(std::system((shellQuoted(standInExecutable()) + " --library " +
                         shellQuoted(library.libraryPath()) + " --restore-trash")
                            .c_str()),
            0);
  std::optional<PListValue> catalogueAfter = PListReader::parseFile(library.albumDataPath());
  ASSERT_TRUE(catalogueAfter);
  EXPECT_EQ(*catalogueAfter, *catalogueBefore) << "the catalogue holds every photo again";
  // iPhoto writes its catalogue in its own layout; what it says is compared above.
  std::map<std::string, Data> after = standin::testing::imageFiles(library.libraryPath());
  EXPECT_TRUE(after == before) << "a file came, went or changed";
}

TEST_F(TrashEndToEndTest, PhotosIPhotoNoLongerHasAreCountedAsNotMoved) {
  const sample::SampleLibrary& library = makeLibrary();
  const std::size_t duplicates = library.expectedDuplicateKeys().size();
  const Data catalogue = testing::readFileBytes(library.albumDataPath());
  ASSERT_EQ(cli("trash --yes --no-progress").status, 0);
  ASSERT_EQ(cli("scan --no-progress").output, "0 duplicates\n");

  // The file says the duplicates are there again, while the running iPhoto has them in its
  // Trash: every move fails, and the run goes on to its end.
  dir_.write("Photo Library/AlbumData.xml", catalogue);
  CliRun trash = cli("trash --yes --no-progress");
  EXPECT_EQ(trash.status, 1) << trash.output;
  EXPECT_THAT(trash.output, HasSubstr("Failed to move some photos\n" + std::to_string(duplicates) +
                                      " photos could not be moved to the iPhoto Trash.\n"));
  EXPECT_THAT(trash.output, HasSubstr("failed to move photos to trash via AppleScript: error "));
}

TEST_F(TrashEndToEndTest, IPhotoStoppedDuringTheMoveKeepsEveryMoveItConfirmed) {
  const std::size_t duplicates = makeLibrary().expectedDuplicateKeys().size();
  ASSERT_TRUE(SelectLibraryAlbumScript().execute());
  const pid_t iPhoto = standInPid();
  ASSERT_GT(iPhoto, 0);
  RunningCli trash({"trash", "--yes", "--no-progress", "--log-level", "debug"});
  ASSERT_TRUE(trash.waitForOutput("running script: <MoveToTrashScript")) << trash.output();
  ASSERT_TRUE(trash.waitForOutput("running script: <MoveToTrashScript")) << trash.output();
  // The next script finds it gone and starts another, which must read every move confirmed.
  ::kill(iPhoto, SIGTERM);
  trash.finish();
  std::size_t notMoved = 0;
  const std::size_t failedAt = trash.output().find("Failed to move some photos\n");
  if (failedAt != std::string::npos)
    notMoved = std::stoul(trash.output().substr(failedAt + 27));
  else
    EXPECT_THAT(trash.output(), HasSubstr("Moved " + std::to_string(duplicates) + " photos"));
  quitStandIn();
  std::optional<PListValue> catalogue = PListReader::parseFile(library_->albumDataPath());
  ASSERT_TRUE(catalogue);
  const PListValue* inTrash = catalogue->objectForKey(standin::kTrashKey);
  EXPECT_EQ(inTrash ? inTrash->arrayValue()->size() : 0, duplicates - notMoved) << trash.output();
}

TEST_F(TrashEndToEndTest, CtrlCAtTheQuestionCancelsAtOnce) {
  makeLibrary();
  RunningCli trash({"trash", "--no-progress"});
  ASSERT_TRUE(trash.waitForOutput("to iPhoto's Trash? [y/N] ")) << trash.output();
  trash.signal(SIGINT);
  EXPECT_EQ(trash.finish(), 130) << trash.output();
  EXPECT_THAT(trash.output(), HasSubstr("Nothing was moved."));
}

// With iPhoto held still, the first command waits for its answer. Ctrl-C arrives during it, which
// completes once iPhoto goes on, and no other is sent; a second Ctrl-C or SIGTERM ends the command
// at once.
TEST_F(TrashEndToEndTest, CtrlCStopsTheMoveBetweenTwoCommandsAndASecondOrSigtermEndsIt) {
  const std::size_t duplicates = makeLibrary().expectedDuplicateKeys().size();
  ASSERT_TRUE(SelectLibraryAlbumScript().execute());
  const pid_t iPhoto = standInPid();
  ASSERT_GT(iPhoto, 0);
  for (const std::vector<int>& signals :
       {std::vector<int>{SIGINT}, std::vector<int>{SIGINT, SIGINT}, std::vector<int>{SIGTERM}}) {
    SCOPED_TRACE(signals.size() * 100 + signals.back());
    const bool atOnce = signals.size() > 1 || signals.back() == SIGTERM;
    ::kill(iPhoto, SIGSTOP);
    RunningCli trash({"trash", "--yes", "--no-progress", "--log-level", "debug"});
    bool running = trash.waitForOutput("running script: <SelectLibraryAlbumScript");
    for (std::size_t i = 0; i < signals.size(); ++i) {
      trash.signal(signals[i]);
      if ((i + 1 < signals.size() || !atOnce) && running)
        running = trash.waitForOutput("interrupted; cancelling between items");
    }
    if (!atOnce) ::kill(iPhoto, SIGCONT);
    const int status = trash.finish();
    ::kill(iPhoto, SIGCONT);
    ASSERT_TRUE(running) << trash.output();
    EXPECT_EQ(status, 128 + signals.back()) << trash.output();
    EXPECT_EQ(trash.output().find("Cancelled: 0 photos moved to the iPhoto Trash.\n") !=
                  std::string::npos,
              !atOnce)
        << trash.output();
    EXPECT_THAT(trash.output(), Not(HasSubstr("running script: <MoveToTrashScript")));
    EXPECT_THAT(trash.output(), Not(HasSubstr("could not be moved")));
  }
  EXPECT_EQ(duplicateCountLine(cli("scan --no-progress")),
            std::to_string(duplicates) + " duplicates\n");
}

}  // namespace
}  // namespace twinlens
