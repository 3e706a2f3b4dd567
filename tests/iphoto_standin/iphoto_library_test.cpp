#include "iphoto_library.hpp"

#include <gtest/gtest.h>

#include "sample_catalogue.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;

IPhotoLibrary libraryOf(const PListValue& root) {
  ErrorRecord error;
  std::optional<IPhotoLibrary> library = IPhotoLibrary::fromAlbumData(root, &error);
  EXPECT_TRUE(library) << error.description();
  return library ? std::move(*library) : *IPhotoLibrary::fromAlbumData(PListValue::dictionary({}));
}

const PListValue& at(const PListValue& value, const std::string& key) {
  static const PListValue missing = PListValue::text("missing");
  const PListValue* found = value.objectForKey(key);
  return found ? *found : missing;
}
const PListValue& item(const PListValue& value, std::size_t index) {
  return value.arrayValue()->at(index);
}

TEST(IPhotoLibrary, AddsNoListItDidNotRead) {
  PListValue bare = PListValue::dictionary({{"Only", PListValue::boolean(false)}});
  EXPECT_EQ(libraryOf(bare).albumData(), bare);
}

TEST(IPhotoLibrary, MoveToTrashTakesThePhotoOutOfEveryList) {
  IPhotoLibrary library = libraryOf(smallCatalogue());
  ASSERT_TRUE(library.moveToTrash("12"));
  PListValue after = library.albumData();

  EXPECT_FALSE(at(after, "Master Image List").objectForKey("12"));
  EXPECT_EQ(library.photoCount(), 2u);
  EXPECT_EQ(library.keyForPhotoId(4294967308u), std::nullopt);
  const PListValue& albums = at(after, "List of Albums");
  EXPECT_EQ(at(item(albums, 0), "KeyList"), keyList({"7", "30"}));
  EXPECT_EQ(at(item(albums, 0), "PhotoCount"), PListValue::integer(2));
  EXPECT_EQ(at(item(albums, 1), "KeyList"), keyList({"30"}));
  EXPECT_FALSE(item(albums, 1).objectForKey("PhotoCount")) << "no count is made up";
  const PListValue& rolls = at(after, "List of Rolls");
  EXPECT_EQ(at(item(rolls, 0), "KeyList"), keyList({"7"}));
  EXPECT_EQ(at(item(rolls, 0), "PhotoCount"), PListValue::integer(1));

  EXPECT_FALSE(library.moveToTrash("12")) << "already in the trash";
  EXPECT_FALSE(library.moveToTrash("99"));
}

// The trash is kept in the catalogue, so it survives reloads; restoring puts every photo back.
TEST(IPhotoLibrary, RestoreTrashPutsEveryPhotoBackWhereItWasAfterReloads) {
  IPhotoLibrary first = libraryOf(smallCatalogue());
  ASSERT_TRUE(first.moveToTrash("30"));
  IPhotoLibrary second = libraryOf(first.albumData());
  for (const char* key : {"12", "7"}) ASSERT_TRUE(second.moveToTrash(key));
  EXPECT_EQ(second.photoCount(), 0u);
  IPhotoLibrary third = libraryOf(second.albumData());
  EXPECT_EQ(third.trashCount(), 3u);
  EXPECT_EQ(third.restoreTrash(), 3u);
  EXPECT_EQ(third.trashCount(), 0u);
  EXPECT_EQ(third.albumData(), smallCatalogue());
  EXPECT_EQ(third.keyForPhotoId(4294967308u), "12");
}

TEST(IPhotoLibrary, AlbumDataAnswerListsEveryPhotoInKeyOrder) {
  IPhotoLibrary library = libraryOf(smallCatalogue());
  AppleEventDescriptor answer = library.albumDataAnswer();
  EXPECT_EQ(answer.descriptorType(), fourCharCode("reco"));
  // Each column as texts, its items all of `type`.
  auto column = [&](const char* label, const char(&type)[5]) {
    std::vector<std::string> values;
    for (const AppleEventDescriptor& value : userField(answer, label)->items()) {
      EXPECT_EQ(value.descriptorType(), fourCharCode(type)) << label;
      values.push_back(*type == 'd' ? std::to_string(realOf(value))
                                    : value.stringValue().value_or("?"));
    }
    return values;
  };
  auto each = [](const std::string& before, const std::string& after) {
    return std::vector<std::string>{before + "twelve" + after, before + "thirty" + after,
                                    before + "seven" + after};
  };
  EXPECT_EQ(
      column("_Id", "doub"),
      (std::vector<std::string>{"4294967308.000000", "4294967326.000000", "4294967303.000000"}));
  EXPECT_EQ(IPhotoLibrary::photoIdForKey("-1"), 4294967295u) << "keys are signed 32-bit numbers";
  EXPECT_EQ(column("_ImagePath", "utxt"), each("/lib/Modified/", ".jpg"));
  EXPECT_EQ(column("_OriginalPath", "utxt"),
            (std::vector<std::string>{"/lib/Originals/twelve", "", ""}));
  EXPECT_EQ(column("_ThumbPath", "utxt"), each("/lib/Data/", ".jpg"));
  EXPECT_EQ(column("_Caption", "utxt"), each("Caption ", ""));
  EXPECT_EQ(column("_Comment", "utxt"), each("Comment ", ""));
  EXPECT_EQ(column("_Date", "doub"),
            (std::vector<std::string>{"100.500000", "200.000000", "300.000000"}));

  AppleEventDescriptor empty = libraryOf(PListValue::dictionary({})).albumDataAnswer();
  EXPECT_EQ(userField(empty, "_ImagePath")->numberOfItems(), 0u);
}

}  // namespace
}  // namespace twinlens::standin
