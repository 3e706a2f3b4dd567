#include "iphoto/iphoto_scripts.hpp"

#include <gtest/gtest.h>

#include "platform/process.hpp"
#include "shared/logging.hpp"
#include "support/fake_script_host.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;
using testing::ScopedFakeScriptHost;

constexpr const char* kOpen = "tell application \"iPhoto\"\n";
constexpr const char* kClose = "end tell\n";

TEST(PhotoIdentifiers, AreTheSigned32BitKeyPlusTwoToThe32nd) {
  EXPECT_EQ(scriptIdentifierForPhotoKey("12"), 4294967308u);
  EXPECT_EQ(scriptIdentifierForPhotoKey("-1"), 4294967295u);
  EXPECT_EQ(scriptIdentifierForPhotoKey("0"), 4294967296u);
  EXPECT_EQ(scriptIdentifierForPhotoKey("2147483647"), 6442450943u);
  EXPECT_EQ(scriptIdentifierForPhotoKey("-2147483648"), 2147483648u);
}

TEST(IPhotoScripts, AKeyThatIsNoPlainDecimalIsNeverSent) {
  ScopedFakeScriptHost host;
  ErrorRecord selectError, moveError;
  EXPECT_FALSE(SelectPhotoScript("05").execute(&selectError));
  EXPECT_FALSE(MoveToTrashScript(std::vector<std::string>{"5", "5abc"}).execute(&moveError));
  EXPECT_TRUE(host->texts().empty());
  EXPECT_EQ(selectError, ErrorRecord("AppleScriptErrorDomain", kScriptCantGetObjectError,
                                     "photo key 05 is not a plain decimal number"));
  EXPECT_EQ(moveError,
            ErrorRecord("TagScriptErrorDomain", MoveToTrashScript::kMoveFailedError,
                        "failed to move photos to trash: photo key 5abc is not a plain decimal "
                        "number"));
}

TEST(IPhotoScriptTexts, AreExactlyWhatIPhotoIsSentAndPhotoCommandsLogThem) {
  ScopedFakeScriptHost host;
  LogCapture capture(kLogLevelDebug);
  SelectLibraryAlbumScript library;
  SelectPhotoScript photo("12");
  MoveToTrashScript trash(std::vector<std::string>{"12", "-1"});
  ASSERT_TRUE(library.execute());
  ASSERT_TRUE(photo.execute());
  ASSERT_TRUE(trash.execute());
  EXPECT_EQ(
      host->texts(),
      (std::vector<std::string>{
          "                              tell application \"iPhoto\"\n"
          "                              select photo library album\n"
          "                              end tell\n",
          "tell application \"iPhoto\"\nactivate\nselect photo library album\n"
          "select photo id 4294967308\nend tell\n",
          std::string(kOpen) + "remove photo id 4294967295\nremove photo id 4294967308\n" + kClose,
      }))
      << "the trash lines come in the set's order";
  std::vector<std::string> debug = capture.linesStartingWith("DEBUG");
  ASSERT_EQ(debug.size(), 2u) << "the library album selection logs nothing";
  EXPECT_NE(debug[0].find("script: tell application \"iPhoto\"\nactivate"), std::string::npos);
  EXPECT_NE(debug[1].find("script: tell application \"iPhoto\"\nremove photo id 4294967295\n"),
            std::string::npos);
  EXPECT_EQ(QuitIPhotoScript::source(),
            "tell application \"iPhoto\"\n        quit\n        end tell\n");
}

TEST(MoveToTrashScript, HoldsEachKeyOnceAndAnEmptyOneOnlyItsOpeningAndClosingLines) {
  EXPECT_EQ(MoveToTrashScript().source(), std::string(kOpen) + kClose);
  MoveToTrashScript trash;
  trash.addPhotoKey("12");
  trash.addPhotoKey("12");
  EXPECT_EQ(trash.photoKeyCount(), 1u);
  EXPECT_EQ(trash.source(), std::string(kOpen) + "remove photo id 4294967308\n" + kClose);
}

TEST(IPhotoScripts, FailuresBecomeErrorRecordsOfTheirDomain) {
  ScopedFakeScriptHost host;
  const std::string message = "Can't get photo id 4294967308.";
  host->failWith(kScriptCantGetObjectError, message);
  const ErrorRecord cantGet("AppleScriptErrorDomain", kScriptCantGetObjectError, message);
  const struct {
    const char* name;
    std::shared_ptr<AppleScript> command;
    ErrorRecord expected;
  } cases[] = {
      {"select photo", std::make_shared<SelectPhotoScript>("12"), cantGet},
      {"select library", std::make_shared<SelectLibraryAlbumScript>(), cantGet},
      {"move to trash", std::make_shared<MoveToTrashScript>(std::vector<std::string>{"12"}),
       ErrorRecord("TagScriptErrorDomain", MoveToTrashScript::kMoveFailedError,
                   "failed to move photos to trash via AppleScript: error -1728: Can't get photo "
                   "id 4294967308.")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture capture(kLogLevelTrace);
    EXPECT_FALSE(c.command->execute()) << "without a place for the record it only answers false";
    EXPECT_TRUE(capture.linesStartingWith("TRACE").empty());
    ErrorRecord error;
    EXPECT_FALSE(c.command->execute(&error));
    EXPECT_EQ(error, c.expected);
    std::vector<std::string> trace = capture.linesStartingWith("TRACE");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_NE(trace[0].find(c.expected.description()), std::string::npos) << trace[0];
  }
}

TEST(QuitIPhotoScript, SucceedsWithoutAWordWhenIPhotoIsNotRunning) {
  ASSERT_FALSE(Process::isProcessRunningWithBundleIdentifier("com.apple.iPhoto"))
      << "another iPhoto of this user is running";
  ScopedFakeScriptHost host;
  host->failWith(kScriptApplicationNotRunningError, "not running");
  ErrorRecord error("untouched", 1, "");
  EXPECT_TRUE(QuitIPhotoScript().execute(&error));
  EXPECT_TRUE(host->texts().empty());
  EXPECT_EQ(error, ErrorRecord("untouched", 1, ""));
}

}  // namespace
}  // namespace twinlens
