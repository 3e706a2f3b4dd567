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

IPhotoCommand plain(Kind kind) {
  return IPhotoCommand{kind, "", std::nullopt};
}
IPhotoCommand withId(Kind kind, const std::string& text, std::optional<std::uint64_t> id) {
  return IPhotoCommand{kind, text, id};
}

TEST(IPhotoScript, ReadsEveryTextTwinlensSends) {
  EXPECT_EQ(commandsOf(kQuitText), std::vector{plain(Kind::Quit)});
  EXPECT_EQ(commandsOf(kSelectLibraryAlbumText), std::vector{plain(Kind::SelectLibraryAlbum)});
  EXPECT_EQ(commandsOf(selectPhotoText("4294967308")),
            (std::vector{plain(Kind::Activate), plain(Kind::SelectLibraryAlbum),
                         withId(Kind::SelectPhoto, "4294967308", 4294967308u)}));
  EXPECT_EQ(commandsOf(removeText({"4294967308", "4294967295"})),
            (std::vector{withId(Kind::RemovePhoto, "4294967308", 4294967308u),
                         withId(Kind::RemovePhoto, "4294967295", 4294967295u)}));
  EXPECT_EQ(commandsOf(removeText({})), std::vector<IPhotoCommand>{});
  EXPECT_EQ(commandsOf(kAlbumDataQueryText),
            (std::vector{plain(Kind::SelectLibraryAlbum), plain(Kind::GetAlbumData)}));
  // Spacing and line ends are free.
  EXPECT_EQ(commandsOf("\r\n  tell   application\t\"iPhoto\"\rquit \r\n\n end  tell"),
            std::vector{plain(Kind::Quit)});
  // Ids are kept as written.
  EXPECT_EQ(commandsOf(removeText({"0004294967308"})),
            std::vector{withId(Kind::RemovePhoto, "0004294967308", 4294967308u)});
  EXPECT_EQ(commandsOf(removeText({"18446744073709551616"})),
            std::vector{withId(Kind::RemovePhoto, "18446744073709551616", std::nullopt)})
      << "beyond 64 bits names no photo";
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
