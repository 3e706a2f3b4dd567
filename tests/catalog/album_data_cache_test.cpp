#include "catalog/album_data_cache.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>

#include "shared/twinlens_app.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using Dict = AlbumValue::Dictionary;

AlbumValue text(const char* value) {
  return AlbumValue::text(value);
}

TEST(AlbumDataCache, ScannedPartKeepsOnlyWhatAScanReads) {
  const std::string ownAlbum = TwinlensApp::duplicatesAlbumName();
  AlbumValue entry = AlbumValue::dictionary(Dict{
      {"ImagePath", text("/i.jpg")},
      {"Caption", text("c")},
      {"Roll", AlbumValue::integer(3)},
      {"Aspect Ratio", AlbumValue::real(1.5)},
      {"GUID", text("dropped")},
      {"MetaModDateAsTimerInterval", AlbumValue::real(9)},
  });
  AlbumValue root = AlbumValue::dictionary(Dict{
      {"Application Version", text("dropped")},
      {"Master Image List",
       AlbumValue::dictionary(Dict{{"7", entry}, {"8", text("not a dictionary, kept as it is")}})},
      {"List of Rolls",
       AlbumValue::array({AlbumValue::dictionary(Dict{{"RollID", AlbumValue::integer(3)},
                                                      {"RollName", text("Summer")},
                                                      {"KeyList", AlbumValue::array({})}}),
                          AlbumValue::dictionary(Dict{{"AlbumId", AlbumValue::integer(4)},
                                                      {"AlbumName", text("Old")}})})},
      {"List of Albums",
       AlbumValue::array(
           {AlbumValue::dictionary(
                Dict{{"AlbumName", text("Holidays")}, {"KeyList", AlbumValue::array({text("7")})}}),
            AlbumValue::dictionary(Dict{{"AlbumName", text(ownAlbum.c_str())},
                                        {"Album Type", text("Regular")},
                                        {"KeyList", AlbumValue::array({text("7")})}})})},
  });

  AlbumValue expected = AlbumValue::dictionary(Dict{
      {"Master Image List",
       AlbumValue::dictionary(
           Dict{{"7", AlbumValue::dictionary(Dict{{"ImagePath", text("/i.jpg")},
                                                  {"Caption", text("c")},
                                                  {"Roll", AlbumValue::integer(3)},
                                                  {"Aspect Ratio", AlbumValue::real(1.5)}})},
                {"8", text("not a dictionary, kept as it is")}})},
      {"List of Rolls",
       AlbumValue::array({AlbumValue::dictionary(Dict{{"RollID", AlbumValue::integer(3)},
                                                      {"RollName", text("Summer")}}),
                          AlbumValue::dictionary(Dict{{"AlbumId", AlbumValue::integer(4)},
                                                      {"AlbumName", text("Old")}})})},
      {"List of Albums",
       AlbumValue::array({AlbumValue::dictionary(Dict{
           {"AlbumName", text(ownAlbum.c_str())}, {"KeyList", AlbumValue::array({text("7")})}})})},
  });
  EXPECT_EQ(AlbumDataCache::scannedPartOf(root), expected);
  EXPECT_EQ(AlbumDataCache::scannedPartOf(text("no dictionary")), text("no dictionary"));
}

AlbumValue everyKind() {
  return AlbumValue::dictionary(Dict{
      {"", AlbumValue::array({})},
      {"texts", AlbumValue::array(
                    {text(""), AlbumValue::text(std::string("a\0b", 3)), text("caf\xc3\xa9")})},
      {"integers",
       AlbumValue::array({AlbumValue::integer(std::numeric_limits<std::int64_t>::min()),
                          AlbumValue::integer(std::numeric_limits<std::int64_t>::max())})},
      {"reals", AlbumValue::array({AlbumValue::real(-0.1), AlbumValue::real(INFINITY)})},
      {"booleans", AlbumValue::array({AlbumValue::boolean(true), AlbumValue::boolean(false)})},
      {"date", AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(-12.5))},
      {"data", AlbumValue::array({AlbumValue::data({}), AlbumValue::data({0, 255, 7})})},
      {"nested", AlbumValue::dictionary(Dict{{"x", AlbumValue::dictionary(Dict{})}})},
      {"null", AlbumValue::null()},
  });
}

TEST(AlbumDataCache, EncodingRoundTripsEveryKindAndTheIdentity) {
  AlbumDataCache::Identity identity{1, 2, 3, -4, 999999999};
  Data bytes = AlbumDataCache::encode(identity, everyKind());
  AlbumDataCache::Identity read;
  std::optional<AlbumValue> tree = AlbumDataCache::decode(bytes.data(), bytes.size(), &read);
  ASSERT_TRUE(tree);
  EXPECT_EQ(*tree, everyKind());
  EXPECT_EQ(read, identity);
}

TEST(AlbumDataCache, DecodeRefusesCutForgedAndOverDeepFiles) {
  Data bytes = AlbumDataCache::encode({}, everyKind());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    ErrorRecord error;
    ASSERT_FALSE(AlbumDataCache::decode(bytes.data(), length, nullptr, &error)) << length;
    EXPECT_TRUE(error.isErrorWithDomain("AlbumDataCacheErrorDomain", -1));
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
  Data forged = AlbumDataCache::encode({}, AlbumValue::array({}));
  std::fill(forged.end() - 4, forged.end(), 0xff);
  EXPECT_FALSE(AlbumDataCache::decode(forged.data(), forged.size(), nullptr));

  auto nested = [](int depth) {
    AlbumValue value = AlbumValue::array({});
    for (int i = 0; i < depth; ++i) value = AlbumValue::array({value});
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
  AlbumValue tree = AlbumValue::dictionary(Dict{{"Master Image List", AlbumValue::dictionary({})}});

  std::optional<AlbumDataCache::Identity> identity = AlbumDataCache::identityOfFile(catalogue);
  ASSERT_TRUE(identity);
  ASSERT_TRUE(AlbumDataCache::save(cachePath, *identity, tree));
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue)) << "a catalogue of this second";

  AlbumDataCache::Identity settled = *identity;
  settled.sec -= 60;
  ASSERT_TRUE(AlbumDataCache::save(cachePath, settled, tree));
  ErrorRecord error;
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue, &error));
  EXPECT_TRUE(error.isErrorWithDomain("AlbumDataCacheErrorDomain", -2)) << error.description();

  timespec times[2] = {{settled.sec, 0}, {settled.sec, settled.nsec}};
  ASSERT_EQ(::utimensat(AT_FDCWD, catalogue.c_str(), times, 0), 0);
  std::optional<AlbumValue> loaded = AlbumDataCache::load(cachePath, catalogue);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, tree);

  dir.write("cache/albumData.dat", std::string("TLAD damaged"));
  EXPECT_FALSE(AlbumDataCache::load(cachePath, catalogue, &error));
  EXPECT_EQ(error.description(), "not an album data cache of version 1");
}

}  // namespace
}  // namespace twinlens
