#include "catalog/defaults.hpp"

#include <gtest/gtest.h>

#include "platform/user_defaults.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

TEST(Defaults, TheSourceFollowsUseAppleScriptUnlessOverridden) {
  testing::TempDir dir;
  auto preferences = std::make_shared<UserDefaults>("app", dir.path());
  Defaults defaults(preferences, nullptr);
  EXPECT_TRUE(defaults.useAlbumDataXML()) << "unset reads the file";

  defaults.setUseAlbumDataXML(false);
  EXPECT_EQ(preferences->booleanForKey("useAppleScript"), true);
  EXPECT_FALSE(defaults.useAlbumDataXML());

  defaults.overrideUseAlbumDataXML(true);
  EXPECT_TRUE(defaults.useAlbumDataXML());
  EXPECT_EQ(UserDefaults("app", dir.path()).booleanForKey("useAppleScript"), true)
      << "the override writes nothing";
  defaults.overrideUseAlbumDataXML(std::nullopt);
  EXPECT_FALSE(defaults.useAlbumDataXML());

  defaults.setUseAlbumDataXML(true);
  EXPECT_EQ(UserDefaults("app", dir.path()).booleanForKey("useAppleScript"), false);
  EXPECT_TRUE(Defaults(nullptr, nullptr).useAlbumDataXML());
}

}  // namespace
}  // namespace twinlens
