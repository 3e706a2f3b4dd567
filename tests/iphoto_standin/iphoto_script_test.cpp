#include "iphoto_script.hpp"

#include <gtest/gtest.h>

#include "platform/script_host.hpp"
#include "script_texts.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;
using Kind = IPhotoCommand::Kind;

std::vector<IPhotoCommand> commandsOf(const std::string& source) {
  ErrorRecord error;
  std::optional<IPhotoScript> script = IPhotoScript::parse(source, &error);
  EXPECT_TRUE(script) << error.description();
  return script ? script->commands() : std::vector<IPhotoCommand>{};
}

// What the interpreter's tests do not show: the commands a photo selection is read as, and that
// spacing and line ends are free.
TEST(IPhotoScript, ReadsASelectionAsThreeCommandsWhateverTheSpacing) {
  EXPECT_EQ(commandsOf(selectPhotoText("4294967308")),
            (std::vector<IPhotoCommand>{{Kind::Activate, "", std::nullopt},
                                        {Kind::SelectLibraryAlbum, "", std::nullopt},
                                        {Kind::SelectPhoto, "4294967308", 4294967308u}}));
  EXPECT_EQ(commandsOf("\r\n  tell   application\t\"iPhoto\"\rquit \r\n\n end  tell"),
            (std::vector<IPhotoCommand>{{Kind::Quit, "", std::nullopt}}));
}

TEST(IPhotoScript, AnythingElseIsASyntaxError) {
  const std::string tell = "tell application \"iPhoto\"\n";
  const std::string query =
      "get {_Id:id, _ImagePath:image path} of every photo in photo library album\n";
  struct Case {
    std::string source;
    std::string message;
  } cases[] = {
      {"tell application \"Finder\"\nquit\nend tell\n",
       "Expected “\"iPhoto\"” but found “\"Finder\"”."},
      {"tell application \"iPhoto\" to quit\n", "Expected end of line but found “to”."},
      {tell + "remove photos id 5\nend tell\n", "Expected “photo” but found “photos”."},
      {tell + "remove photo id x\nend tell\n", "Expected number but found “x”."},
      {tell + "remove photo id -5\nend tell\n", "Expected number but found “-”."},
      {tell + query + "end tell\n", "Expected “,” but found “}”."},
      {tell + "\xFF\xC3\nend tell\n", "Expected “quit”, etc. but found “\uFFFD”."},
      {tell + std::string(200, 'a') + "\nend tell\n",
       "Expected “quit”, etc. but found “" + std::string(60, 'a') + "…”."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    ErrorRecord error;
    EXPECT_FALSE(IPhotoScript::parse(c.source, &error));
    EXPECT_EQ(error.domain(), IPhotoScript::errorDomain());
    EXPECT_EQ(error.code(), kScriptSyntaxError);
    EXPECT_EQ(error.description(), c.message);
  }
}

}  // namespace
}  // namespace twinlens::standin
