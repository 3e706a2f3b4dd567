#include "catalog/album_data_cache.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "file_times.hpp"
#include "shared/twinlens_app.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using Dict = PListValue::Dictionary;

PListValue text(const std::string& value) {
  return PListValue::text(value);
}
PListValue dict(Dict fields) {
  return PListValue::dictionary(std::move(fields));
}
PListValue number(std::int64_t value) {
  return PListValue::integer(value);
}

TEST(AlbumDataCache, ScannedPartKeepsOnlyWhatAScanReads) {
  const std::string ownAlbum = TwinlensApp::duplicatesAlbumName();
  const PListValue keys = PListValue::array({text("7")});
  const Dict image{{"ImagePath", text("/i.jpg")},
                   {"Caption", text("c")},
                   {"Roll", number(3)},
                   {"Aspect Ratio", PListValue::real(1.5)}};
  Dict entry = image;
  entry.insert_or_assign("GUID", text("dropped"));
  entry.insert_or_assign("MetaModDateAsTimerInterval", PListValue::real(9));
  const PListValue old = dict({{"AlbumId", number(4)}, {"AlbumName", text("Old")}});
  PListValue root = dict({
      {"Application Version", text("dropped")},
      {"Master Image List", dict({{"7", dict(entry)}, {"8", text("not a dictionary, kept")}})},
      {"List of Rolls", PListValue::array({dict({{"RollID", number(3)},
                                                 {"RollName", text("Summer")},
                                                 {"KeyList", PListValue::array({})}}),
                                           old})},
      {"List of Albums",
       PListValue::array({dict({{"AlbumName", text("Holidays")}, {"KeyList", keys}}),
                          dict({{"AlbumName", text(ownAlbum)},
                                {"Album Type", text("Regular")},
                                {"KeyList", keys}})})},
  });
  PListValue expected = dict({
      {"Master Image List", dict({{"7", dict(image)}, {"8", text("not a dictionary, kept")}})},
      {"List of Rolls",
       PListValue::array({dict({{"RollID", number(3)}, {"RollName", text("Summer")}}), old})},
      {"List of Albums",
       PListValue::array({dict({{"AlbumName", text(ownAlbum)}, {"KeyList", keys}})})},
  });
  EXPECT_EQ(AlbumDataCache::scannedPartOf(root), expected);
  EXPECT_EQ(AlbumDataCache::scannedPartOf(text("no dictionary")), text("no dictionary"));
}

// Entries of every shape a record reads, some with values of the wrong type.
PListValue imageList() {
  return dict({
      {"1", dict({{"ImagePath", text("/1.jpg")},
                  {"OriginalPath", number(4)},
                  {"Caption", PListValue::array({text("x")})},
                  {"Aspect Ratio", text(" 1.5x")},
                  {"DateAsTimerInterval", PListValue::boolean(true)},
                  {"Roll", PListValue::real(-3.9)},
                  {"GUID", text("ignored")}})},
      {"2", dict({{"Roll", text("12abc")}, {"Comment", text("")}})},
      {"3", text("no dictionary")},
  });
}

PListValue everyKind() {
  return dict({
      {"Master Image List", imageList()},
      {"List of Rolls", PListValue::array({dict({{"RollID", text("7")}})})},
      {"", PListValue::array({})},
      {"texts", PListValue::array({text(""), PListValue::PListValue::text(std::string("a\0b", 3)),
                                   text("caf\xc3\xa9")})},
      {"integers", PListValue::array({number(std::numeric_limits<std::int64_t>::min()),
                                      number(std::numeric_limits<std::int64_t>::max())})},
      {"reals", PListValue::array({PListValue::real(-0.1), PListValue::real(INFINITY)})},
      {"booleans", PListValue::array({PListValue::boolean(true), PListValue::boolean(false)})},
      {"date", PListValue::date(Date::withTimeIntervalSinceReferenceDate(-12.5))},
      {"data", PListValue::array({PListValue::data({}), PListValue::data({0, 255, 7})})},
      {"nested", dict({{"x", dict({})}})},
      {"null", PListValue::null()},
  });
}

TEST(AlbumDataCache, EncodingRoundTripsEveryKindAndTheIdentity) {
  AlbumDataCache::Identity identity{1, 2, 3, -4, 999999999};
  Data bytes = AlbumDataCache::encode(identity, everyKind());
  AlbumDataCache::Identity read;
  std::optional<PListValue> tree = AlbumDataCache::decode(bytes.data(), bytes.size(), &read);
  ASSERT_TRUE(tree);
  EXPECT_EQ(*tree, everyKind());
  EXPECT_EQ(read, identity);

  std::optional<ScannedAlbumData> scanned =
      AlbumDataCache::decodeScanned(std::make_shared<const AlbumDataBytes>(bytes), &read);
  ASSERT_TRUE(scanned);
  ScannedAlbumData fromTree = ScannedAlbumData::fromTree(everyKind());
  EXPECT_EQ(scanned->entries(), fromTree.entries());
  EXPECT_EQ(*scanned->tree.objectForKey("List of Rolls"),
            *fromTree.tree.objectForKey("List of Rolls"));
  EXPECT_EQ(scanned->tree.objectForKey("Master Image List"), nullptr);
}

TEST(AlbumDataCache, DecodeRefusesCutForgedAndOverDeepFiles) {
  Data bytes = AlbumDataCache::encode({}, everyKind());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    ErrorRecord error;
    ASSERT_FALSE(AlbumDataCache::decode(bytes.data(), length, nullptr, &error)) << length;
    EXPECT_TRUE(
        error.isErrorWithDomain("AlbumDataCacheErrorDomain", AlbumDataCache::kDamagedError));
    ErrorRecord scannedError;
    auto cut = std::make_shared<const AlbumDataBytes>(Data(bytes.begin(), bytes.begin() + length));
    ASSERT_FALSE(AlbumDataCache::decodeScanned(cut, nullptr, &scannedError)) << length;
    EXPECT_EQ(scannedError.description(), error.description());
  }
  Data longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(AlbumDataCache::decode(longer.data(), longer.size(), nullptr));

  Data otherVersion = bytes;
  otherVersion[4] = 2;
  ErrorRecord error;
  EXPECT_FALSE(AlbumDataCache::decode(otherVersion.data(), otherVersion.size(), nullptr, &error));
  EXPECT_EQ(error.description(), "not an album data cache of version 1");

  // An array claiming four billion items in a file of a few bytes.
  Data forged = AlbumDataCache::encode({}, PListValue::array({}));
  std::fill(forged.end() - 4, forged.end(), 0xff);
  EXPECT_FALSE(AlbumDataCache::decode(forged.data(), forged.size(), nullptr));

  auto nested = [](int depth) {
    PListValue value = PListValue::array({});
    for (int i = 0; i < depth; ++i) value = PListValue::array({value});
    return AlbumDataCache::encode({}, value);
  };
  Data deepEnough = nested(64);
  Data tooDeep = nested(65);
  EXPECT_TRUE(AlbumDataCache::decode(deepEnough.data(), deepEnough.size(), nullptr));
  EXPECT_FALSE(AlbumDataCache::decode(tooDeep.data(), tooDeep.size(), nullptr));
}

TEST(AlbumDataCache, LoadsOnlyForTheSameCatalogueAndNotAFreshOne) {
  testing::TempDir dir;
  std::string catalogue = dir.write("AlbumData.xml", std::string("<plist/>"));
  std::string cachePath = dir.file("cache/albumData.dat");
  PListValue tree = dict({{"Master Image List", PListValue::dictionary({})}});

  std::optional<AlbumDataCache::Identity> identity = AlbumDataCache::identityOfFile(catalogue);
  ASSERT_TRUE(identity);
  ASSERT_TRUE(AlbumDataCache::save(cachePath, *identity, tree));
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue)) << "a catalogue of this second";

  AlbumDataCache::Identity settled = *identity;
  settled.sec -= 60;
  ASSERT_TRUE(AlbumDataCache::save(cachePath, settled, tree));
  ErrorRecord error;
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue, &error));
  EXPECT_TRUE(error.isErrorWithDomain("AlbumDataCacheErrorDomain", AlbumDataCache::kChangedError))
      << error.description();

  testing::setFileTime(catalogue, settled.sec, settled.nsec);
  std::optional<ScannedAlbumData> loaded = AlbumDataCache::load(cachePath, catalogue);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->entries(), ScannedAlbumData::fromTree(tree).entries());

  dir.write("cache/albumData.dat", std::string("TLAD damaged"));
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue, &error));
  EXPECT_EQ(error.description(), "not an album data cache of version 1");
}

}  // namespace
}  // namespace twinlens
