#include "platform/album_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/album_data_parser.hpp"

namespace twinlens {
namespace {

using Type = AlbumValue::Type;

TEST(AlbumValue, EachFactoryMakesItsTypeAndOnlyThatAccessorAnswers) {
  AlbumValue dict = AlbumValue::dictionary({{"k", AlbumValue::text("v")}});
  AlbumValue array = AlbumValue::array({AlbumValue::integer(1), AlbumValue::integer(2)});
  AlbumValue text = AlbumValue::text("hello");
  AlbumValue integer = AlbumValue::integer(-5);
  AlbumValue real = AlbumValue::real(2.5);
  AlbumValue boolean = AlbumValue::boolean(true);
  AlbumValue date = AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(100));
  AlbumValue data = AlbumValue::data({1, 2, 3});

  EXPECT_EQ(dict.type(), Type::Dictionary);
  EXPECT_EQ(array.type(), Type::Array);
  EXPECT_EQ(text.type(), Type::Text);
  EXPECT_EQ(integer.type(), Type::Integer);
  EXPECT_EQ(real.type(), Type::Real);
  EXPECT_EQ(boolean.type(), Type::Boolean);
  EXPECT_EQ(date.type(), Type::Date);
  EXPECT_EQ(data.type(), Type::Data);

  ASSERT_TRUE(dict.dictionaryValue());
  EXPECT_EQ(dict.dictionaryValue()->size(), 1u);
  ASSERT_TRUE(array.arrayValue());
  EXPECT_EQ(array.arrayValue()->size(), 2u);
  EXPECT_EQ(*text.textValue(), "hello");
  EXPECT_EQ(integer.integerValue(), -5);
  EXPECT_EQ(real.realValue(), 2.5);
  EXPECT_EQ(boolean.booleanValue(), true);
  EXPECT_EQ(date.dateValue()->timeIntervalSinceReferenceDate(), 100);
  EXPECT_EQ(*data.dataValue(), (Data{1, 2, 3}));

  EXPECT_FALSE(text.dictionaryValue());
  EXPECT_FALSE(dict.textValue());
  EXPECT_FALSE(real.integerValue());
  EXPECT_FALSE(integer.realValue());
  EXPECT_FALSE(integer.booleanValue());
  EXPECT_FALSE(text.dateValue());
  EXPECT_FALSE(text.dataValue());
  EXPECT_FALSE(dict.arrayValue());
}

TEST(AlbumValue, ObjectForKeyFindsEntriesOfDictionariesOnly) {
  AlbumValue entry = AlbumValue::dictionary(
      {{"ImagePath", AlbumValue::text("/a.jpg")}, {"Roll", AlbumValue::integer(7)}});
  ASSERT_TRUE(entry.objectForKey("ImagePath"));
  EXPECT_EQ(*entry.objectForKey("ImagePath")->textValue(), "/a.jpg");
  EXPECT_FALSE(entry.objectForKey("OriginalPath"));
  EXPECT_FALSE(entry.objectForKey("imagepath")) << "keys are case-sensitive";
  EXPECT_FALSE(AlbumValue::text("x").objectForKey("ImagePath"));
  EXPECT_FALSE(AlbumValue::array({entry}).objectForKey("ImagePath"));
}

TEST(AlbumValue, NumbersComeAsIntegersRealsBooleansOrDecimalTexts) {
  struct Case {
    const char* name;
    AlbumValue value;
    std::optional<double> asDouble;
    std::optional<std::int32_t> asInt32;
  };
  const Case cases[] = {
      {"integer", AlbumValue::integer(42), 42.0, 42},
      {"negative integer", AlbumValue::integer(-3), -3.0, -3},
      {"real", AlbumValue::real(1.75), 1.75, 1},
      {"negative real truncates toward zero", AlbumValue::real(-1.75), -1.75, -1},
      {"true", AlbumValue::boolean(true), 1.0, 1},
      {"false", AlbumValue::boolean(false), 0.0, 0},
      {"decimal text", AlbumValue::text("1.3333"), 1.3333, 1},
      {"text with blanks and tail", AlbumValue::text("  -12.5 seconds"), -12.5, -12},
      {"text with exponent", AlbumValue::text("2.5e2"), 250.0, 2},
      {"text without number", AlbumValue::text("wide"), 0.0, 0},
      {"empty text", AlbumValue::text(""), 0.0, 0},
      {"huge integer", AlbumValue::integer(std::int64_t{1} << 40), 1099511627776.0,
       std::numeric_limits<std::int32_t>::max()},
      {"huge negative real", AlbumValue::real(-1e20), -1e20,
       std::numeric_limits<std::int32_t>::min()},
      {"huge text", AlbumValue::text("99999999999"), 99999999999.0,
       std::numeric_limits<std::int32_t>::max()},
      {"dictionary", AlbumValue::dictionary({}), std::nullopt, std::nullopt},
      {"array", AlbumValue::array({}), std::nullopt, std::nullopt},
      {"date", AlbumValue::date(Date()), std::nullopt, std::nullopt},
      {"data", AlbumValue::data({'1'}), std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.doubleValue(), c.asDouble);
    EXPECT_EQ(c.value.int32Value(), c.asInt32);
  }
  EXPECT_EQ(AlbumValue::real(std::nan("")).int32Value(), 0);
}

TEST(AlbumValue, DecimalTextReaderStopsAtTheFirstNonNumber) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1.5", 1.5}, {"+2", 2.0},  {".5", 0.5},    {"5.", 5.0},         {"-", 0.0},
      {".", 0.0},   {"1e", 1.0},  {"1e+", 1.0},   {"1e-2x", 0.01},     {"0x10", 0.0},
      {"inf", 0.0}, {"1,5", 1.0}, {"\t\n7", 7.0}, {"1e999", HUGE_VAL}, {"--1", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(doubleFromDecimalText(c.text), c.value);
  }
}

TEST(AlbumValue, Int32TextReaderSkipsBlanksTakesSignAndClamps) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"00123", 123},
      {"  42", 42},
      {"-17", -17},
      {"+8", 8},
      {"abc", 0},
      {"", 0},
      {"12abc", 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999999999999", -2147483647 - 1},
      {"- 5", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(int32FromDecimalText(c.text), c.value);
  }
}

TEST(AlbumValue, IntegersAndRealsCompareByValue) {
  EXPECT_EQ(AlbumValue::integer(2), AlbumValue::real(2.0));
  EXPECT_EQ(AlbumValue::real(2.0), AlbumValue::integer(2));
  EXPECT_NE(AlbumValue::integer(2), AlbumValue::real(2.5));
  EXPECT_NE(AlbumValue::integer(std::numeric_limits<std::int64_t>::max()),
            AlbumValue::real(9223372036854775808.0));
  EXPECT_NE(AlbumValue::integer(0), AlbumValue::real(std::nan("")));
  EXPECT_NE(AlbumValue::integer(1), AlbumValue::boolean(true));
  EXPECT_NE(AlbumValue::text("1"), AlbumValue::integer(1));
}

TEST(AlbumValue, EqualityIsDeep) {
  auto tree = [](double aspect) {
    return AlbumValue::dictionary(
        {{"Master Image List",
          AlbumValue::dictionary(
              {{"7", AlbumValue::dictionary({{"Aspect Ratio", AlbumValue::real(aspect)},
                                             {"Roll", AlbumValue::integer(3)}})}})},
         {"List of Rolls",
          AlbumValue::array({AlbumValue::dictionary({{"RollID", AlbumValue::integer(3)}})})}});
  };
  EXPECT_EQ(tree(1.5), tree(1.5));
  EXPECT_NE(tree(1.5), tree(1.25));
  AlbumValue copy = tree(1.5);
  AlbumValue same = copy;
  EXPECT_EQ(copy, same);
  EXPECT_EQ(AlbumValue::data({1, 2}), AlbumValue::data({1, 2}));
  EXPECT_NE(AlbumValue::data({1, 2}), AlbumValue::data({1}));
  EXPECT_EQ(AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(5)),
            AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(5)));
  EXPECT_NE(AlbumValue::array({AlbumValue::integer(1)}),
            AlbumValue::array({AlbumValue::integer(1), AlbumValue::integer(1)}));
}

TEST(AlbumValue, ATreeOfAnyDepthIsFreedWhileAPartOfItLivesOn) {
  AlbumValue tree = AlbumValue::text("leaf");
  std::optional<AlbumValue> kept;
  for (int i = 0; i < 300000; ++i) {
    tree = i % 2 ? AlbumValue::array({tree}) : AlbumValue::dictionary({{"k", tree}});
    if (i == 10) kept = tree;
  }
  tree = AlbumValue::null();
  EXPECT_EQ(kept->objectForKey("k")->arrayValue()->front().objectForKey("k")->type(),
            AlbumValue::Type::Array);
}

std::vector<std::string> keysOf(const AlbumValue::Dictionary& entries) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : entries) keys.push_back(key);
  return keys;
}

TEST(AlbumValueDictionary, IteratesInKeyOrderAndTheLastOfRepeatedKeysWins) {
  struct Case {
    const char* name;
    AlbumValue::Dictionary entries;
    std::vector<std::string> keys;
    std::vector<std::int64_t> values;
  };
  const Case cases[] = {
      {"empty", {}, {}, {}},
      {"already in order",
       {{"a", AlbumValue::integer(1)}, {"b", AlbumValue::integer(2)}},
       {"a", "b"},
       {1, 2}},
      {"out of order",
       {{"Roll", AlbumValue::integer(1)},
        {"ImagePath", AlbumValue::integer(2)},
        {"Caption", AlbumValue::integer(3)}},
       {"Caption", "ImagePath", "Roll"},
       {3, 2, 1}},
      {"repeated key",
       {{"k", AlbumValue::integer(1)},
        {"j", AlbumValue::integer(2)},
        {"k", AlbumValue::integer(3)}},
       {"j", "k"},
       {2, 3}},
      {"key repeated three times in a row",
       {{"k", AlbumValue::integer(1)},
        {"k", AlbumValue::integer(2)},
        {"k", AlbumValue::integer(3)}},
       {"k"},
       {3}},
      {"empty key sorts first",
       {{"z", AlbumValue::integer(1)}, {"", AlbumValue::integer(2)}},
       {"", "z"},
       {2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(keysOf(c.entries), c.keys);
    std::vector<std::int64_t> values;
    for (const auto& [key, value] : c.entries) values.push_back(*value.integerValue());
    EXPECT_EQ(values, c.values);
    for (std::size_t i = 0; i < c.keys.size(); ++i)
      EXPECT_EQ(c.entries.at(c.keys[i]).integerValue(), c.values[i]);
  }
}

TEST(AlbumValueDictionary, InsertOrAssignReplacesOrAddsInPlace) {
  AlbumValue::Dictionary entries{{"b", AlbumValue::text("2")}};
  entries.insert_or_assign("c", AlbumValue::text("3"));
  entries.insert_or_assign("a", AlbumValue::text("1"));
  entries.insert_or_assign("b", AlbumValue::text("two"));
  EXPECT_EQ(keysOf(entries), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(*entries.at("b").textValue(), "two");
  EXPECT_TRUE(entries.contains("c"));
  EXPECT_FALSE(entries.contains("d"));
  EXPECT_EQ(entries.find("bb"), entries.end());
  EXPECT_THROW(static_cast<void>(entries.at("d")), std::out_of_range);
}

TEST(AlbumValueDictionary, ParsedDictionaryKeepsTheLastRepeatedKeyInKeyOrder) {
  const std::string xml =
      "<plist version=\"1.0\"><dict>"
      "<key>Roll</key><integer>1</integer>"
      "<key>Caption</key><string>first</string>"
      "<key>Roll</key><integer>9</integer>"
      "<key>Aspect Ratio</key><real>1.5</real>"
      "</dict></plist>";
  ErrorRecord error;
  std::optional<AlbumValue> root =
      AlbumDataParser::parse(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size(), &error);
  ASSERT_TRUE(root) << error.description();
  ASSERT_TRUE(root->dictionaryValue());
  EXPECT_EQ(keysOf(*root->dictionaryValue()),
            (std::vector<std::string>{"Aspect Ratio", "Caption", "Roll"}));
  EXPECT_EQ(root->objectForKey("Roll")->integerValue(), 9);
  EXPECT_EQ(root->objectForKey("Aspect Ratio")->realValue(), 1.5);
}

TEST(AlbumValue, ScalarsOfDifferentTypesNeverCompareEqual) {
  const AlbumValue values[] = {
      AlbumValue::integer(0),
      AlbumValue::boolean(false),
      AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(0)),
      AlbumValue::text(""),
      AlbumValue::data({}),
      AlbumValue::array({}),
      AlbumValue::dictionary({}),
      AlbumValue::null(),
  };
  for (std::size_t i = 0; i < std::size(values); ++i)
    for (std::size_t j = 0; j < std::size(values); ++j) {
      SCOPED_TRACE(std::to_string(i) + " against " + std::to_string(j));
      EXPECT_EQ(values[i] == values[j], i == j);
    }
  EXPECT_EQ(AlbumValue::real(0.0), AlbumValue::integer(0));
  EXPECT_NE(AlbumValue::real(0.0), AlbumValue::date(Date::withTimeIntervalSinceReferenceDate(0)));
}

TEST(AlbumValue, NullIsItsOwnTypeAndNoNumber) {
  AlbumValue null = AlbumValue::null();
  EXPECT_EQ(null.type(), Type::Null);
  EXPECT_TRUE(null.isNull());
  EXPECT_EQ(null, AlbumValue::null());
  EXPECT_FALSE(null.doubleValue());
  EXPECT_FALSE(null.int32Value());
  EXPECT_FALSE(null.integerValue());
  EXPECT_FALSE(null.textValue());
  EXPECT_FALSE(null.objectForKey("x"));
  EXPECT_FALSE(AlbumValue::integer(0).isNull());
  EXPECT_FALSE(AlbumValue::text("").isNull());

  // Inside containers it takes a place like any other value.
  AlbumValue array = AlbumValue::array({AlbumValue::null(), AlbumValue::integer(1)});
  EXPECT_EQ(array, AlbumValue::array({AlbumValue::null(), AlbumValue::integer(1)}));
  EXPECT_NE(array, AlbumValue::array({AlbumValue::integer(0), AlbumValue::integer(1)}));
  AlbumValue dict = AlbumValue::dictionary({{"k", AlbumValue::null()}});
  ASSERT_TRUE(dict.objectForKey("k"));
  EXPECT_TRUE(dict.objectForKey("k")->isNull());
}

}  // namespace
}  // namespace twinlens
