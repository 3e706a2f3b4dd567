#include "catalog/duplicate_results.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::TempDir;

// Builds photo records over real files: each photo names the content of its original file and,
// when edited, of its modified file; equal contents hash alike.
class WeedingTest : public ::testing::Test {
 protected:
  std::shared_ptr<Photo> photo(const std::string& key, const std::string& original,
                               const std::string& modified = "", std::int64_t roll = 1) {
    const std::string originalFile = dir_.write(key + "-original", "content " + original);
    PListValue::Dictionary entry{{"ThumbPath", PListValue::text(dir_.file(key + "-thumb.jpg"))},
                                 {"Caption", PListValue::text("photo " + key)},
                                 {"Roll", PListValue::integer(roll)},
                                 {"ImagePath", PListValue::text(originalFile)}};
    if (!modified.empty()) {
      entry.insert_or_assign("OriginalPath", PListValue::text(originalFile));
      entry.insert_or_assign(
          "ImagePath", PListValue::text(dir_.write(key + "-modified", "content " + modified)));
    }
    auto record = std::make_shared<Photo>(key);
    record->setFromPlist(PListValue::dictionary(std::move(entry)));
    EXPECT_TRUE(record->updateSHA1s());
    return record;
  }

  DuplicateResults weed(const std::vector<std::shared_ptr<Photo>>& photos,
                        const RollNames& rolls = {{1, "Holiday"}}) {
    library_ = std::make_unique<PhotoLibrary>(dir_.path(), photos, std::nullopt);
    return DuplicateResults::weedDuplicates(*library_, rolls);
  }

  static std::vector<std::string> keys(const std::vector<std::shared_ptr<Photo>>& photos) {
    std::vector<std::string> out;
    for (const auto& p : photos) out.push_back(p->iPhotoKey());
    return out;
  }
  static std::vector<std::string> keys(const std::vector<Thumbnail>& items) {
    std::vector<std::string> out;
    for (const auto& t : items) out.push_back(t.iPhotoKey());
    return out;
  }

  TempDir dir_;
  std::unique_ptr<PhotoLibrary> library_;
};

TEST_F(WeedingTest, TwoEqualOriginalsMakeOneGroup) {
  DuplicateResults r = weed({photo("1", "A"), photo("2", "A"), photo("3", "B")});
  EXPECT_EQ(keys(r.duplicatePhotos()), (std::vector<std::string>{"2"}));
  EXPECT_EQ(keys(r.thumbnails()), (std::vector<std::string>{"1", "2"}));
  ASSERT_EQ(r.duplicateGroups().size(), 1u);
  EXPECT_EQ(r.duplicateGroups()[0], (DuplicateGroup{0, 2}));
  EXPECT_EQ(r.duplicatesIndexSet(), (std::vector<std::size_t>{1}));
  const Thumbnail& kept = r.thumbnails()[0];
  EXPECT_EQ(kept.imageTitle(), "photo 1");
  EXPECT_EQ(kept.imageSubtitle(), "Holiday");
  EXPECT_EQ(kept.imageUID(), dir_.file("1-thumb.jpg"));
  EXPECT_FALSE(kept.imageRepresentation()) << "no thumbnail file was written";
}

TEST_F(WeedingTest, KeysSortAsTextsSoTenComesBeforeTwo) {
  DuplicateResults r = weed({photo("2", "A"), photo("10", "A"), photo("1", "A")});
  EXPECT_EQ(keys(r.duplicatePhotos()), (std::vector<std::string>{"10", "2"}));
  EXPECT_EQ(keys(r.thumbnails()), (std::vector<std::string>{"1", "10", "2"}));
  EXPECT_EQ(r.duplicatesIndexSet(), (std::vector<std::size_t>{1, 2}));
}

// An unedited copy matches an edited photo's modified file; a photo's original is tried before its
// modified file, and a duplicate joins the first set holding the matched text.
TEST_F(WeedingTest, EditedPhotosMatchOnTheirOriginalFirst) {
  EXPECT_EQ(keys(weed({photo("1", "orig", "X"), photo("2", "X")}).thumbnails()),
            (std::vector<std::string>{"1", "2"}));
  // 3's original matches 1, its modified file matches 2: it joins 1's set.
  DuplicateResults r = weed({photo("1", "A"), photo("2", "B"), photo("3", "A", "B")});
  ASSERT_EQ(r.duplicateGroups().size(), 1u);
  EXPECT_EQ(keys(r.thumbnails()), (std::vector<std::string>{"1", "3"}));
  // The set of 1 now also holds B. 4 carries B as its original and matches 2 (which matched
  // nothing on B), yet joins the set of 1.
  std::shared_ptr<Photo> two = photo("2", "B");
  r = weed({photo("1", "A"), two, photo("3", "A", "B"), photo("4", "B")});
  EXPECT_EQ(keys(r.duplicatePhotos()), (std::vector<std::string>{"3", "4"}));
  ASSERT_EQ(r.duplicateGroups().size(), 1u);
  EXPECT_TRUE(r.duplicateSets()[0].containsSHA1(*two->originalSHA1()));
  EXPECT_EQ(r.duplicateSets()[0].sha1s().size(), 2u);
  EXPECT_EQ(keys(r.thumbnails()), (std::vector<std::string>{"1", "3", "4"}));
}

TEST_F(WeedingTest, RecordsWithoutHashesOrOfEmptyFilesNeverMatch) {
  auto bare1 = std::make_shared<Photo>("1");
  auto bare2 = std::make_shared<Photo>("2");
  DuplicateResults r = weed({bare1, bare2, photo("3", "A")});
  EXPECT_TRUE(r.duplicatePhotos().empty());
  EXPECT_TRUE(r.thumbnails().empty());
  EXPECT_TRUE(r.duplicateGroups().empty());
  EXPECT_TRUE(r.duplicatesIndexSet().empty());

  // Nor do files of no bytes.
  std::vector<std::shared_ptr<Photo>> edited{photo("1", "leaf", "x"), photo("2", "sky", "x")};
  for (const auto& record : edited) {
    std::filesystem::resize_file(*record->modifiedPath(), 0);
    ASSERT_TRUE(record->updateSHA1s());
  }
  ASSERT_EQ(edited[0]->modifiedSHA1(), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_TRUE(weed(edited).duplicatePhotos().empty());
}

TEST_F(WeedingTest, RemovingTheOnlyDuplicateRemovesItsGroup) {
  DuplicateResults before =
      weed({photo("1", "A"), photo("2", "A"), photo("3", "B"), photo("4", "B")});
  EXPECT_EQ(before.duplicateGroups().size(), 2u);
  library_->removePhotosForIPhotoKeys(std::vector<std::string>{"2"});
  DuplicateResults after = DuplicateResults::weedDuplicates(*library_, {});
  EXPECT_EQ(keys(after.thumbnails()), (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(after.duplicateGroups()[0], (DuplicateGroup{0, 2}));
}

TEST_F(WeedingTest, UnnamedRollGivesNoSubtitleAndAlbumKeysFilterDuplicates) {
  DuplicateResults r =
      weed({photo("1", "A", "", 5), photo("2", "A", "", 5), photo("3", "A", "", 5)});
  EXPECT_FALSE(r.thumbnails()[0].imageSubtitle());
  EXPECT_EQ(keys(r.duplicatePhotosNotInAlbum({"2"})), (std::vector<std::string>{"3"}));
}

TEST(EventName, ComparesRollIdsByValue) {
  RollNames rolls{{7, "Seven"}, {-1, "Minus one"}};
  EXPECT_EQ(eventNameWithRollId(rolls, 7), "Seven");
  EXPECT_FALSE(eventNameWithRollId(rolls, 8));
  EXPECT_FALSE(eventNameWithRollId(rolls, UINT64_MAX)) << "not the same number as -1";
}

}  // namespace
}  // namespace twinlens
