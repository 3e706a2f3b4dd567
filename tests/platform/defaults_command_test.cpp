// Runs the built twinlens-cli defaults command against preferences kept in a folder of the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/user_defaults.hpp"
#include "support/cli_run.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::CliRun;
using testing::shellQuoted;

class DefaultsCommandTest : public ::testing::Test {
 protected:
  CliRun cli(const std::string& arguments) {
    return testing::runCli("defaults " + arguments, "XDG_CONFIG_HOME=" + shellQuoted(dir_.path()));
  }
  std::string folder() const { return dir_.path() + "/twinlens"; }

  testing::TempDir dir_;
};

TEST_F(DefaultsCommandTest, WrittenValuesReadBackTyped) {
  EXPECT_EQ(cli("write com.example.app logLevel -int 5").status, 0);
  EXPECT_EQ(cli("write com.example.app useAppleScript -bool YES").status, 0);
  EXPECT_EQ(cli("write com.apple.iphoto RootDirectory -string '/photos/My Library'").status, 0);
  EXPECT_EQ(cli("write com.example.app note plain").status, 0);

  UserDefaults app("com.example.app", folder());
  EXPECT_EQ(app.integerForKey("logLevel"), 5);
  EXPECT_EQ(app.booleanForKey("useAppleScript"), true);
  EXPECT_EQ(app.stringForKey("note"), "plain");
  UserDefaults iphoto(kIPhotoDefaultsDomain, folder());
  EXPECT_EQ(iphoto.stringForKey(kIPhotoRootDirectoryKey), "/photos/My Library");

  CliRun value = cli("read com.apple.iphoto RootDirectory");
  EXPECT_EQ(value.status, 0);
  EXPECT_EQ(value.output, "/photos/My Library\n");
  EXPECT_EQ(cli("read com.example.app logLevel").output, "5\n");
  EXPECT_EQ(cli("read com.example.app useAppleScript").output, "1\n");
}

TEST_F(DefaultsCommandTest, ReadingADomainOrEveryDomainPrintsTheValuesInOrder) {
  ASSERT_EQ(cli("write com.example.app logLevel -int 3").status, 0);
  ASSERT_EQ(cli("write com.example.app QvFeedbackURL 'https://example.invalid/f b'").status, 0);
  CliRun run = cli("read com.example.app");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            "{\n    logLevel = 3;\n    QvFeedbackURL = \"https://example.invalid/f b\";\n}\n");
  ASSERT_EQ(cli("write a.domain k -bool false").status, 0);
  run = cli("read");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.output,
      "{\n    a.domain = {\n        k = 0;\n    };\n    com.example.app = {\n        logLevel "
      "= 3;\n        QvFeedbackURL = \"https://example.invalid/f b\";\n    };\n}\n");
}

TEST_F(DefaultsCommandTest,
       DeleteRemovesTheKeyOnlyAndMissingDomainOrKeyAndWriteFailureAreReported) {
  ASSERT_EQ(cli("write d a -int 1").status, 0);
  ASSERT_EQ(cli("write d b -int 2").status, 0);
  EXPECT_EQ(cli("delete d a").status, 0);
  UserDefaults defaults("d", folder());
  EXPECT_EQ(defaults.integerForKey("a"), std::nullopt);
  EXPECT_EQ(defaults.integerForKey("b"), 2);

  CliRun run = cli("read nothing.here");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Domain nothing.here does not exist\n");
  run = cli("read d missing");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "The domain/default pair of (d, missing) does not exist\n");
  EXPECT_EQ(cli("delete d missing").status, 1);
  EXPECT_EQ(cli("delete nothing.here k").status, 1);

  std::filesystem::remove_all(folder());
  dir_.write("twinlens", std::string("a file where the folder should be"));
  run = cli("write d a -int 1");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("not a directory"), std::string::npos) << run.output;
}

TEST_F(DefaultsCommandTest, BadValuesAndUsageFailWithoutChangingAnything) {
  ASSERT_EQ(cli("write d a -int 1").status, 0);
  struct Case {
    const char* arguments;
    const char* message;
  } cases[] = {
      {"write d a -int 12x", "not an integer: '12x'"},
      {"write d a -bool maybe", "not a boolean: 'maybe'"},
      {"write d a -date 2001", "unknown type '-date'"},
      {"write ../d a -int 1", "invalid domain name '../d'"},
      {"read ../../etc", "invalid domain name"},
      {"write d a", "usage:"},
      {"rename d a", "unknown defaults verb 'rename'"},
      {"", "usage:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    CliRun run = cli(c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
  }
  EXPECT_EQ(UserDefaults("d", folder()).integerForKey("a"), 1);
}

}  // namespace
}  // namespace twinlens
