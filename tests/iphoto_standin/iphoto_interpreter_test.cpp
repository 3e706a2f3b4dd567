#include "iphoto_interpreter.hpp"

#include <gtest/gtest.h>

#include "sample_catalogue.hpp"
#include "script_texts.hpp"
#include "support/fake_script_host.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;
using twinlens::testing::errorMessage;
using twinlens::testing::errorNumber;

class IPhotoInterpreterTest : public ::testing::Test {
 protected:
  IPhotoInterpreter interpreter{*IPhotoLibrary::fromAlbumData(smallCatalogue()),
                                [this](ErrorRecord*) {
                                  ++changes;
                                  return true;
                                }};
  int changes = 0;

  void expectNullAnswer(const std::string& source) {
    SCOPED_TRACE(source);
    ScriptOutcome outcome = interpreter.run(source);
    ASSERT_TRUE(outcome.succeeded()) << errorMessage(outcome);
    EXPECT_EQ(*outcome.result, AppleEventDescriptor::null());
    EXPECT_TRUE(outcome.errorInfo.empty());
  }

  void expectFailure(const std::string& source, std::int64_t number, const std::string& message) {
    SCOPED_TRACE(source);
    ScriptOutcome outcome = interpreter.run(source);
    ASSERT_FALSE(outcome.succeeded());
    EXPECT_EQ(errorNumber(outcome), number);
    EXPECT_EQ(errorMessage(outcome), message);
  }
};

TEST_F(IPhotoInterpreterTest, CommandsOtherThanTheQueryAnswerNull) {
  expectNullAnswer(kSelectLibraryAlbumText);
  EXPECT_TRUE(interpreter.libraryAlbumSelected());
  expectNullAnswer(selectPhotoText("4294967303"));
  EXPECT_TRUE(interpreter.isActive());
  EXPECT_EQ(interpreter.selectedPhotoKey(), "7");
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(interpreter.takeQuitRequest());

  expectNullAnswer(kQuitText);
  EXPECT_TRUE(interpreter.takeQuitRequest());
  EXPECT_FALSE(interpreter.takeQuitRequest()) << "asked once per quit";
}

TEST_F(IPhotoInterpreterTest, RemoveMovesEachNamedPhotoToTheTrash) {
  expectNullAnswer(removeText({"4294967308", "4294967326"}));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(interpreter.library().photoCount(), 1u);
  EXPECT_EQ(interpreter.library().trashCount(), 2u);
  expectNullAnswer(removeText({}));
  EXPECT_EQ(changes, 1) << "an empty remove changes nothing";
}

TEST_F(IPhotoInterpreterTest, AnUnknownIdOrASyntaxErrorFailsAndChangesNothing) {
  expectFailure(selectPhotoText("4294967309"), kScriptCantGetObjectError,
                "Can't get photo id 4294967309.");
  expectFailure(removeText({"4294967308", "12", "4294967326"}), kScriptCantGetObjectError,
                "Can't get photo id 12.");
  // The second line names the photo that the first one trashes.
  expectFailure(removeText({"4294967308", "0004294967308"}), kScriptCantGetObjectError,
                "Can't get photo id 0004294967308.");
  expectFailure(removeText({"99999999999999999999999"}), kScriptCantGetObjectError,
                "Can't get photo id 99999999999999999999999.");
  // A syntax error anywhere runs no line.
  expectFailure("tell application \"iPhoto\"\nremove photo id 4294967308\nquit now\nend tell\n",
                kScriptSyntaxError, "Expected end of line but found “now”.");
  EXPECT_FALSE(interpreter.takeQuitRequest());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(interpreter.library().albumData(), smallCatalogue());

  expectNullAnswer(removeText({"4294967308"}));
  expectFailure(removeText({"4294967308"}), kScriptCantGetObjectError,
                "Can't get photo id 4294967308.");
  expectFailure(selectPhotoText("4294967308"), kScriptCantGetObjectError,
                "Can't get photo id 4294967308.");
}

TEST_F(IPhotoInterpreterTest, TheLastCommandGivesTheAnswer) {
  std::string queryLine = kAlbumDataQueryText.substr(kAlbumDataQueryText.find("get"));
  queryLine = queryLine.substr(0, queryLine.find('\n') + 1);
  expectNullAnswer("tell application \"iPhoto\"\n" + queryLine + "activate\nend tell\n");
  ScriptOutcome outcome = interpreter.run(
      "tell application \"iPhoto\"\nremove photo id 4294967303\n" + queryLine + "end tell\n");
  ASSERT_TRUE(outcome.succeeded());
  EXPECT_EQ(*outcome.result, interpreter.library().albumDataAnswer());
  EXPECT_EQ(userField(*outcome.result, "_Id")->numberOfItems(), 2u) << "after the remove";
}

}  // namespace
}  // namespace twinlens::standin
