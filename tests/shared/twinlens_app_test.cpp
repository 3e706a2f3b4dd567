#include <gtest/gtest.h>

#include <cstdlib>

#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;

TEST(TwinlensApp, InfoDictionaryNamesTheAppAndHoldsEveryKeyTheApplicationReads) {
  for (const char* key : {"CFBundleName", "CFBundleIdentifier", "CFBundleVersion",
                          "CFBundleHelpBookName", "QvFeedbackURL"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(TwinlensApp::infoValue(key).value_or("").empty());
  }
}

TEST(TwinlensApp, MissingBundleNameLogsAnErrorAndFallsBack) {
  LogCapture capture(kLogLevelError);
  const InfoEntry other[] = {{"CFBundleIdentifier", "x.y"}};
  EXPECT_EQ(TwinlensApp::appNameInInfoDictionary(other), "Twinlens");
  std::vector<std::string> errors = capture.linesStartingWith("ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].ends_with(" bundle name not found!")) << errors[0];

  const InfoEntry named[] = {{"CFBundleName", "Other"}};
  EXPECT_EQ(TwinlensApp::appNameInInfoDictionary(named), "Other");
  EXPECT_EQ(capture.linesStartingWith("ERROR").size(), 1u);
}

// The Info.plist that goes into the bundle must say what the embedded table says.
TEST(TwinlensApp, GeneratedInfoPlistMatchesTheEmbeddedDictionary) {
  const char* buildDir = std::getenv("TWINLENS_BUILD_DIR");
  if (!buildDir) GTEST_SKIP() << "TWINLENS_BUILD_DIR not set";
  Data bytes = testing::readFileBytes(std::string(buildDir) + "/Info.plist");
  std::string plist(bytes.begin(), bytes.end());
  ASSERT_FALSE(plist.empty()) << "no Info.plist in " << buildDir;
  for (const InfoEntry& entry : TwinlensApp::infoDictionary()) {
    SCOPED_TRACE(std::string(entry.key));
    std::string pair = "<key>" + std::string(entry.key) + "</key>\n\t<string>" +
                       std::string(entry.value) + "</string>";
    EXPECT_NE(plist.find(pair), std::string::npos);
  }
  EXPECT_EQ(plist.find("@TWINLENS"), std::string::npos) << "unsubstituted placeholder";
}

}  // namespace
}  // namespace twinlens
