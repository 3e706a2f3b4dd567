#include "catalog/keep_rule.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalog/match_reason.hpp"
#include "file_times.hpp"
#include "sample/jpeg_builder.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::TempDir;

// A record hashed from `name` (and, when edited, from `edited` as its modified file), the file
// written with `bytes` and the modification time `mtime`.
std::shared_ptr<Photo> hashed(const TempDir& dir, const std::string& name, const Data& bytes,
                              std::int64_t mtime = 100, const std::string& edited = "") {
  const std::string path = dir.write(name, bytes);
  testing::setFileTime(path, mtime);
  auto photo = std::make_shared<Photo>(name);
  PListValue::Dictionary entry{{"ImagePath", PListValue::text(path)}};
  if (!edited.empty())
    entry = {{"ImagePath", PListValue::text(dir.file(edited))},
             {"OriginalPath", PListValue::text(path)}};
  photo->setFromPlist(PListValue::dictionary(entry));
  EXPECT_TRUE(photo->updateSHA1s());
  return photo;
}

TEST(KeepRule, KeepsByTheRuleThenOldestThenShortestThenFirstPath) {
  TempDir dir;
  const std::vector<std::shared_ptr<Photo>> photos = {
      hashed(dir, "b/x.jpg", Data(500, 1), 100), hashed(dir, "a/longer.jpg", Data(900, 1), 200),
      hashed(dir, "a/y.jpg", Data(500, 1), 100), hashed(dir, "c/z.jpg", Data(900, 1), 300)};
  const std::pair<std::string, std::string> cases[] = {
      {"oldest", "a/y.jpg"},
      {"newest", "c/z.jpg"},
      {"largest", "a/longer.jpg"},
      {"under:" + dir.file("c"), "c/z.jpg"},
      {"under:" + dir.file("b") + "/", "b/x.jpg"},
      {"under:" + dir.file("a/l"), "a/y.jpg"},  // a name's beginning is no folder
  };
  for (const auto& [text, kept] : cases) {
    SCOPED_TRACE(text);
    std::optional<KeepRule> rule = KeepRule::fromText(text);
    ASSERT_TRUE(rule);
    auto first = std::min_element(photos.begin(), photos.end(), [&](const auto& a, const auto& b) {
      return rule->keptBefore(*a, *b);
    });
    EXPECT_EQ((*first)->iPhotoKey(), kept);
  }
  for (const char* bad : {"", "under:", "Oldest", "biggest"}) EXPECT_FALSE(KeepRule::fromText(bad));
}

TEST(MatchReason, SaysWhichTextMatchedAndWhetherTheFileIsTheKeptOne) {
  TempDir dir;
  const Data picture = sample::samplePhoto(1, 800, "Camera A");
  hashed(dir, "edited.jpg", picture);
  const std::vector<std::shared_ptr<Photo>> set = {
      hashed(dir, "kept.jpg", picture), hashed(dir, "copy.jpg", picture),
      hashed(dir, "retagged.jpg", sample::samplePhoto(1, 800, "Camera B")),
      hashed(dir, "original.jpg", sample::samplePhoto(2, 800, "Camera A"), 100, "edited.jpg")};
  const std::pair<bool, bool> expected[] = {
      {true, true}, {true, true}, {true, false}, {false, true}};
  const std::vector<MatchReason> reasons = explainMatches(set);
  ASSERT_EQ(reasons.size(), set.size());
  for (std::size_t i = 0; i < set.size(); ++i) {
    SCOPED_TRACE(set[i]->iPhotoKey());
    EXPECT_EQ(reasons[i].byOriginal, expected[i].first);
    EXPECT_EQ(reasons[i].sameFile, expected[i].second);
  }
}

}  // namespace
}  // namespace twinlens
