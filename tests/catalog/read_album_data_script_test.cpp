#include "catalog/read_album_data_script.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "photo_answer.hpp"
#include "platform/apple_script_failure.hpp"
#include "shared/logging.hpp"
#include "support/fake_script_host.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using Descriptor = AppleEventDescriptor;
using testing::LogCapture;
using testing::PhotoAnswer;
using testing::ScopedFakeScriptHost;

template <typename T>
Descriptor raw(const char (&type)[5], T value) {
  Data bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return Descriptor(fourCharCode(type), bytes);
}

PListValue convert(const Descriptor& descriptor) {
  std::optional<PListValue> value = ReadAlbumDataScript::objectFromAppleEventDescriptor(descriptor);
  EXPECT_TRUE(value) << fourCharCodeText(descriptor.descriptorType());
  return value.value_or(PListValue::text("<nothing>"));
}

TEST(AppleEventConversion, ScalarsByTypeCode) {
  struct Case {
    const char* name;
    Descriptor descriptor;
    PListValue expected;
  };
  const Case cases[] = {
      {"utxt", Descriptor::text("Élan"), PListValue::text("Élan")},
      {"TEXT", Descriptor(fourCharCode("TEXT"), Data{'a', 'b'}), PListValue::text("ab")},
      {"bool true", Descriptor::boolean(true), PListValue::boolean(true)},
      {"bool false", Descriptor::boolean(false), PListValue::boolean(false)},
      {"true", Descriptor(fourCharCode("true"), Data()), PListValue::boolean(true)},
      {"fals", Descriptor(fourCharCode("fals"), Data()), PListValue::boolean(false)},
      {"shor", raw<std::int16_t>("shor", -2), PListValue::integer(-2)},
      {"shor in four bytes keeps the low 16 bits", raw<std::int32_t>("shor", 0x18000),
       PListValue::integer(-32768)},
      {"long", Descriptor::int32(-7), PListValue::integer(-7)},
      {"comp widens its 32-bit value with the sign", raw<std::int64_t>("comp", -3),
       PListValue::integer(-3)},
      {"comp above 32 bits keeps the low 32", raw<std::int64_t>("comp", (1ll << 32) + 5),
       PListValue::integer(5)},
      {"magn reads unsigned", raw<std::uint32_t>("magn", 0xFFFFFFFFu),
       PListValue::integer(4294967295)},
      {"doub", Descriptor::real(2.5), PListValue::real(2.5)},
      {"enum", Descriptor::enumerated(fourCharCode("yes ")),
       PListValue::integer(fourCharCode("yes "))},
      {"type", Descriptor::typeCode(fourCharCode("msng")),
       PListValue::integer(fourCharCode("msng"))},
      {"null", Descriptor::null(), PListValue::null()},
      {"unknown type gives its bytes", Descriptor(fourCharCode("JPEG"), Data{0xFF, 0xD8}),
       PListValue::data({0xFF, 0xD8})},
      {"doub too short to hold a double", Descriptor(fourCharCode("doub"), Data{1, 2}),
       PListValue::data({1, 2})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PListValue value = convert(c.descriptor);
    EXPECT_EQ(value, c.expected);
    EXPECT_EQ(value.type(), c.expected.type());
  }
}

TEST(AppleEventConversion, ListsConvertTheirItemsInOrderAndSkipEmptyRecords) {
  Descriptor list = Descriptor::list(
      {Descriptor::int32(1), Descriptor::record({}), Descriptor::text("two"), Descriptor::null()});
  EXPECT_EQ(convert(list), PListValue::array({PListValue::integer(1), PListValue::text("two"),
                                              PListValue::null()}));
  EXPECT_EQ(convert(Descriptor::list({})), PListValue::array({}));
  EXPECT_EQ(ReadAlbumDataScript::arrayFromAppleEventDescriptor(Descriptor::int32(3)),
            PListValue::array({}))
      << "a descriptor without items is an empty list";
}

TEST(AppleEventConversion, RecordsTakeLabelsAndValuesFromTheirLastItem) {
  EXPECT_FALSE(ReadAlbumDataScript::objectFromAppleEventDescriptor(Descriptor::record({})))
      << "a record with no items yields nothing";

  Descriptor fields = Descriptor::list({
      Descriptor::text("a"),
      Descriptor::int32(1),
      Descriptor::int32(9),
      Descriptor::text("label is not a text"),
      Descriptor::text("empty"),
      Descriptor::record({}),
      Descriptor::text("a"),
      Descriptor::int32(2),
      Descriptor::text("nested"),
      Descriptor::recordWithUserFields({{"x", Descriptor::null()}}),
      Descriptor::text("dangling"),
  });
  Descriptor record = Descriptor::record({Descriptor::text("not read"), fields});
  EXPECT_EQ(convert(record), PListValue::dictionary(
                                 {{"a", PListValue::integer(2)},
                                  {"nested", PListValue::dictionary({{"x", PListValue::null()}})}}))
      << "the later of two equal labels wins; pairs without a text label, with an empty value "
         "or without a value are dropped";

  Descriptor noFieldList = Descriptor::record({Descriptor::int32(4)});
  EXPECT_EQ(convert(noFieldList), PListValue::dictionary({}));
}

const PListValue::Dictionary& imageList(const ReadAlbumDataScript& script) {
  static const PListValue::Dictionary kNone;
  const auto found = script.albumDataPlist().find("Master Image List");
  EXPECT_NE(found, script.albumDataPlist().end());
  if (found == script.albumDataPlist().end() || !found->second.dictionaryValue()) return kNone;
  return *found->second.dictionaryValue();
}

class ReadAlbumDataScriptTest : public ::testing::Test {
 protected:
  void answer(Descriptor descriptor) {
    host_->answerWith(
        [descriptor](std::string_view) { return ScriptOutcome::success(descriptor); });
  }
  ScopedFakeScriptHost host_;
};

TEST_F(ReadAlbumDataScriptTest, SendsOneQueryAndBuildsTheImageList) {
  PhotoAnswer photos;
  photos.add(Descriptor::real(4294967296.0 + 5), "/lib/a.jpg", "");
  photos.add(raw<std::int64_t>("comp", (1ll << 32) + 12), "/lib/b.jpg", "/lib/orig/b.jpg", "Beach",
             Descriptor::text("sunny"));
  photos.add(Descriptor::int32(7), "/lib/c.jpg", "", "c", Descriptor::int32(42));
  photos.add(Descriptor::int32(-1), "/lib/replaced.jpg", "");
  for (const Descriptor& id : {Descriptor::real(8589934591.0), Descriptor::int32(2147483647),
                               raw<std::uint32_t>("magn", 4000000000u), Descriptor::real(13.0)})
    photos.add(id, "/lib/more.jpg", "");
  answer(photos.record());

  ReadAlbumDataScript script;
  ErrorRecord error;
  ASSERT_TRUE(script.execute(&error)) << error.description();
  EXPECT_EQ(script.albumDataPlist().size(), 1u) << "no rolls and no albums";

  const PListValue::Dictionary& images = imageList(script);
  for (const char* key : {"5", "12", "7", "4294967295", "2147483647", "4000000000", "13"})
    EXPECT_TRUE(images.contains(key)) << key << ": an id's low 32 bits, written unsigned";
  ASSERT_EQ(images.size(), 7u);
  EXPECT_EQ(images.at("5"),
            PListValue::dictionary({{"Caption", PListValue::text("caption")},
                                    {"Comment", PListValue::text("")},
                                    {"ImagePath", PListValue::text("/lib/a.jpg")},
                                    {"ThumbPath", PListValue::text("/lib/a.jpg.thumb")}}))
      << "an id above 32 bits gives its low 32 bits; an empty original path is left out";
  EXPECT_EQ(*images.at("12").objectForKey("OriginalPath")->textValue(), "/lib/orig/b.jpg");
  EXPECT_EQ(*images.at("12").objectForKey("Caption")->textValue(), "Beach");
  EXPECT_EQ(*images.at("12").objectForKey("Comment")->textValue(), "sunny");
  EXPECT_EQ(*images.at("7").objectForKey("Comment")->textValue(), "42") << "a number as digits";
  EXPECT_EQ(*images.at("4294967295").objectForKey("ImagePath")->textValue(), "/lib/more.jpg")
      << "a later photo with the same key replaces the earlier";
}

TEST_F(ReadAlbumDataScriptTest,
       AnswersWithoutPhotosAreEmptyAndMalformedOnesFailWithTheCorruptAnswerNumber) {
  PhotoAnswer shortCaptions;
  shortCaptions.add(Descriptor::int32(1), "/a.jpg", "");
  shortCaptions.add(Descriptor::int32(2), "/b.jpg", "");
  shortCaptions.captions.pop_back();
  PhotoAnswer textId;
  textId.add(Descriptor::text("1"), "/a.jpg", "");
  PhotoAnswer listPath;
  listPath.add(Descriptor::int32(1), "/a.jpg", "");
  listPath.imagePaths[0] = Descriptor::list({});
  PhotoAnswer infiniteId;
  infiniteId.add(Descriptor::real(1e300), "/a.jpg", "");
  struct Case {
    const char* name;
    Descriptor answer;
    bool malformed = true;  // false: an empty image list
  };
  const Case cases[] = {
      {"empty lists", PhotoAnswer().record(), false},
      {"a record with no items", Descriptor::record({}), false},
      {"a record without an image path list", Descriptor::recordWithUserFields({}), false},
      {"not a record", Descriptor::text("no")},
      {"image paths not a list",
       Descriptor::recordWithUserFields({{"_ImagePath", Descriptor::int32(1)}})},
      {"a list shorter than the image paths", shortCaptions.record()},
      {"a list missing", Descriptor::recordWithUserFields(
                             {{"_ImagePath", Descriptor::list({Descriptor::text("/a.jpg")})}})},
      {"an id that is not a number", textId.record()},
      {"an id out of range", infiniteId.record()},
      {"a path that is not a text", listPath.record()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    answer(c.answer);
    ReadAlbumDataScript script;
    ErrorRecord error;
    EXPECT_EQ(script.execute(&error), !c.malformed);
    if (!c.malformed) {
      EXPECT_TRUE(imageList(script).empty());
      continue;
    }
    EXPECT_EQ(error.domain(), "AppleScriptErrorDomain");
    EXPECT_EQ(error.code(), kScriptCorruptAnswerError);
    EXPECT_NE(error.description().find("malformed"), std::string::npos) << error.description();
  }
}

TEST_F(ReadAlbumDataScriptTest, AFailedScriptGivesItsNumberAndMessageAndIsRemembered) {
  host_->failWith(kScriptCantGetObjectError, "Can't get photo library album.");
  ReadAlbumDataScript script;
  LogCapture capture(kLogLevelTrace);
  script.execute();
  EXPECT_TRUE(script.errorOccurred());
  ASSERT_TRUE(script.lastError());
  EXPECT_EQ(*script.lastError(), ErrorRecord("AppleScriptErrorDomain", kScriptCantGetObjectError,
                                             "Can't get photo library album."));
  EXPECT_EQ(capture.linesStartingWith("TRACE").size(), 1u);
  EXPECT_EQ(capture.linesStartingWith("DEBUG").size(), 1u) << "the script text";

  // A number beyond 32 bits is read as a signed 32-bit number.
  host_->failWith((1ll << 32) - 600, "unreachable");
  ErrorRecord error;
  EXPECT_FALSE(script.execute(&error));
  EXPECT_EQ(error.code(), kScriptApplicationNotRunningError);

  answer(PhotoAnswer().record());
  script.execute();
  EXPECT_FALSE(script.errorOccurred());
  EXPECT_TRUE(script.lastError()) << "the record of the last failure stays";
}

TEST(AppleEventLists, TextsInOrderOrSortedWithoutRegardToCase) {
  Descriptor list =
      Descriptor::list({Descriptor::text("beta"), Descriptor::text("Alpha"), Descriptor::int32(3),
                        Descriptor::text("alpha"), Descriptor::text("Gamma")});
  EXPECT_EQ(listOfStringsToArray(list),
            (std::vector<std::string>{"beta", "Alpha", "alpha", "Gamma"}));
  EXPECT_EQ(listOfStringsToSortedArray(list),
            (std::vector<std::string>{"Alpha", "alpha", "beta", "Gamma"}));
  EXPECT_TRUE(listOfStringsToArray(Descriptor::list({})).empty());
}

TEST(AppleScriptFailure, ReadsNumberAndMessageAsTheyPrint) {
  AppleScriptFailure failure = AppleScriptFailure::of(ScriptOutcome::failure(-2741, "syntax"));
  EXPECT_EQ(failure.number, -2741);
  EXPECT_EQ(failure.numberText, "-2741");
  EXPECT_EQ(failure.message, "syntax");

  ScriptOutcome bare;
  AppleScriptFailure empty = AppleScriptFailure::of(bare);
  EXPECT_EQ(empty.number, 0);
  EXPECT_EQ(empty.numberText, "(null)");
  EXPECT_EQ(empty.message, "(null)");

  ScriptOutcome real;
  real.errorInfo.insert_or_assign(kAppleScriptErrorNumberKey, PListValue::real(-43.0));
  EXPECT_EQ(AppleScriptFailure::of(real).number, -43);
  EXPECT_EQ(AppleScriptFailure::of(real).numberText, "-43");
}

}  // namespace
}  // namespace twinlens
