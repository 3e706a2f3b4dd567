#include "platform/plist_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/plist_reader.hpp"

namespace twinlens {
namespace {

using Type = PListValue::Type;

TEST(PListValue, EachFactoryMakesItsTypeAndOnlyThatAccessorAnswers) {
  PListValue dict = PListValue::dictionary({{"k", PListValue::text("v")}});
  PListValue array = PListValue::array({PListValue::integer(1), PListValue::integer(2)});
  PListValue text = PListValue::text("hello");
  PListValue integer = PListValue::integer(-5);
  PListValue real = PListValue::real(2.5);
  PListValue boolean = PListValue::boolean(true);
  PListValue date = PListValue::date(Date::withTimeIntervalSinceReferenceDate(100));
  PListValue data = PListValue::data({1, 2, 3});

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

TEST(PListValue, ObjectForKeyFindsEntriesOfDictionariesOnly) {
  PListValue entry = PListValue::dictionary(
      {{"ImagePath", PListValue::text("/a.jpg")}, {"Roll", PListValue::integer(7)}});
  ASSERT_TRUE(entry.objectForKey("ImagePath"));
  EXPECT_EQ(*entry.objectForKey("ImagePath")->textValue(), "/a.jpg");
  EXPECT_FALSE(entry.objectForKey("OriginalPath"));
  EXPECT_FALSE(entry.objectForKey("imagepath")) << "keys are case-sensitive";
  EXPECT_FALSE(PListValue::text("x").objectForKey("ImagePath"));
  EXPECT_FALSE(PListValue::array({entry}).objectForKey("ImagePath"));
}

TEST(PListValue, NumbersComeAsIntegersRealsBooleansOrDecimalTexts) {
  struct Case {
    const char* name;
    PListValue value;
    std::optional<double> asDouble;
    std::optional<std::int32_t> asInt32;
  };
  const Case cases[] = {
      {"integer", PListValue::integer(42), 42.0, 42},
      {"negative integer", PListValue::integer(-3), -3.0, -3},
      {"real", PListValue::real(1.75), 1.75, 1},
      {"negative real truncates toward zero", PListValue::real(-1.75), -1.75, -1},
      {"true", PListValue::boolean(true), 1.0, 1},
      {"false", PListValue::boolean(false), 0.0, 0},
      {"decimal text", PListValue::text("1.3333"), 1.3333, 1},
      {"text with blanks and tail", PListValue::text("  -12.5 seconds"), -12.5, -12},
      {"text with exponent", PListValue::text("2.5e2"), 250.0, 2},
      {"text without number", PListValue::text("wide"), 0.0, 0},
      {"text of a word for a real", PListValue::text("inf"), 0.0, 0},
      {"empty text", PListValue::text(""), 0.0, 0},
      {"huge integer", PListValue::integer(std::int64_t{1} << 40), 1099511627776.0,
       std::numeric_limits<std::int32_t>::max()},
      {"huge negative real", PListValue::real(-1e20), -1e20,
       std::numeric_limits<std::int32_t>::min()},
      {"huge text", PListValue::text("99999999999"), 99999999999.0,
       std::numeric_limits<std::int32_t>::max()},
      {"dictionary", PListValue::dictionary({}), std::nullopt, std::nullopt},
      {"array", PListValue::array({}), std::nullopt, std::nullopt},
      {"date", PListValue::date(Date()), std::nullopt, std::nullopt},
      {"data", PListValue::data({'1'}), std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.doubleValue(), c.asDouble);
    EXPECT_EQ(c.value.int32Value(), c.asInt32);
  }
  EXPECT_EQ(PListValue::real(std::nan("")).int32Value(), 0);
}

TEST(PListValue, IntegersAndRealsCompareByValue) {
  EXPECT_EQ(PListValue::integer(2), PListValue::real(2.0));
  EXPECT_EQ(PListValue::real(2.0), PListValue::integer(2));
  EXPECT_NE(PListValue::integer(2), PListValue::real(2.5));
  EXPECT_NE(PListValue::integer(std::numeric_limits<std::int64_t>::max()),
            PListValue::real(9223372036854775808.0));
  EXPECT_NE(PListValue::integer(0), PListValue::real(std::nan("")));
  EXPECT_NE(PListValue::integer(1), PListValue::boolean(true));
  EXPECT_NE(PListValue::text("1"), PListValue::integer(1));
}

TEST(PListValue, EqualityIsDeep) {
  auto tree = [](double aspect) {
    return PListValue::dictionary(
        {{"Master Image List",
          PListValue::dictionary(
              {{"7", PListValue::dictionary({{"Aspect Ratio", PListValue::real(aspect)},
                                             {"Roll", PListValue::integer(3)}})}})},
         {"List of Rolls",
          PListValue::array({PListValue::dictionary({{"RollID", PListValue::integer(3)}})})}});
  };
  EXPECT_EQ(tree(1.5), tree(1.5));
  EXPECT_NE(tree(1.5), tree(1.25));
  PListValue copy = tree(1.5);
  PListValue same = copy;
  EXPECT_EQ(copy, same);
  EXPECT_EQ(PListValue::data({1, 2}), PListValue::data({1, 2}));
  EXPECT_NE(PListValue::data({1, 2}), PListValue::data({1}));
  EXPECT_EQ(PListValue::date(Date::withTimeIntervalSinceReferenceDate(5)),
            PListValue::date(Date::withTimeIntervalSinceReferenceDate(5)));
  EXPECT_NE(PListValue::array({PListValue::integer(1)}),
            PListValue::array({PListValue::integer(1), PListValue::integer(1)}));
}

TEST(PListValue, ATreeOfAnyDepthIsFreedWhileAPartOfItLivesOn) {
  PListValue tree = PListValue::text("leaf");
  std::optional<PListValue> kept;
  for (int i = 0; i < 300000; ++i) {
    tree = i % 2 ? PListValue::array({tree}) : PListValue::dictionary({{"k", tree}});
    if (i == 10) kept = tree;
  }
  tree = PListValue::null();
  EXPECT_EQ(kept->objectForKey("k")->arrayValue()->front().objectForKey("k")->type(),
            PListValue::Type::Array);
}

std::vector<std::string> keysOf(const PListValue::Dictionary& entries) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : entries) keys.push_back(key);
  return keys;
}

TEST(PListValueDictionary, IteratesInKeyOrderAndTheLastOfRepeatedKeysWins) {
  struct Case {
    const char* name;
    PListValue::Dictionary entries;
    std::vector<std::string> keys;
    std::vector<std::int64_t> values;
  };
  const Case cases[] = {
      {"empty", {}, {}, {}},
      {"already in order",
       {{"a", PListValue::integer(1)}, {"b", PListValue::integer(2)}},
       {"a", "b"},
       {1, 2}},
      {"out of order",
       {{"Roll", PListValue::integer(1)},
        {"ImagePath", PListValue::integer(2)},
        {"Caption", PListValue::integer(3)}},
       {"Caption", "ImagePath", "Roll"},
       {3, 2, 1}},
      {"repeated key",
       {{"k", PListValue::integer(1)},
        {"j", PListValue::integer(2)},
        {"k", PListValue::integer(3)}},
       {"j", "k"},
       {2, 3}},
      {"key repeated three times in a row",
       {{"k", PListValue::integer(1)},
        {"k", PListValue::integer(2)},
        {"k", PListValue::integer(3)}},
       {"k"},
       {3}},
      {"empty key sorts first",
       {{"z", PListValue::integer(1)}, {"", PListValue::integer(2)}},
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

TEST(PListValueDictionary, InsertOrAssignReplacesOrAddsInPlace) {
  PListValue::Dictionary entries{{"b", PListValue::text("2")}};
  entries.insert_or_assign("c", PListValue::text("3"));
  entries.insert_or_assign("a", PListValue::text("1"));
  entries.insert_or_assign("b", PListValue::text("two"));
  EXPECT_EQ(keysOf(entries), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(*entries.at("b").textValue(), "two");
  EXPECT_TRUE(entries.contains("c"));
  EXPECT_FALSE(entries.contains("d"));
  EXPECT_EQ(entries.find("bb"), entries.end());
  EXPECT_THROW(static_cast<void>(entries.at("d")), std::out_of_range);
}

TEST(PListValueDictionary, ParsedDictionaryKeepsTheLastRepeatedKeyInKeyOrder) {
  const std::string xml =
      "<plist version=\"1.0\"><dict>"
      "<key>Roll</key><integer>1</integer>"
      "<key>Caption</key><string>first</string>"
      "<key>Roll</key><integer>9</integer>"
      "<key>Aspect Ratio</key><real>1.5</real>"
      "</dict></plist>";
  ErrorRecord error;
  std::optional<PListValue> root =
      PListReader::parse(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size(), &error);
  ASSERT_TRUE(root) << error.description();
  ASSERT_TRUE(root->dictionaryValue());
  EXPECT_EQ(keysOf(*root->dictionaryValue()),
            (std::vector<std::string>{"Aspect Ratio", "Caption", "Roll"}));
  EXPECT_EQ(root->objectForKey("Roll")->integerValue(), 9);
  EXPECT_EQ(root->objectForKey("Aspect Ratio")->realValue(), 1.5);
}

TEST(PListValue, ScalarsOfDifferentTypesNeverCompareEqual) {
  const PListValue values[] = {
      PListValue::integer(0),
      PListValue::boolean(false),
      PListValue::date(Date::withTimeIntervalSinceReferenceDate(0)),
      PListValue::text(""),
      PListValue::data({}),
      PListValue::array({}),
      PListValue::dictionary({}),
      PListValue::null(),
  };
  for (std::size_t i = 0; i < std::size(values); ++i)
    for (std::size_t j = 0; j < std::size(values); ++j) {
      SCOPED_TRACE(std::to_string(i) + " against " + std::to_string(j));
      EXPECT_EQ(values[i] == values[j], i == j);
    }
  EXPECT_EQ(PListValue::real(0.0), PListValue::integer(0));
  EXPECT_NE(PListValue::real(0.0), PListValue::date(Date::withTimeIntervalSinceReferenceDate(0)));
}

TEST(PListValue, NullIsItsOwnTypeAndNoNumber) {
  PListValue null = PListValue::null();
  EXPECT_EQ(null.type(), Type::Null);
  EXPECT_TRUE(null.isNull());
  EXPECT_EQ(null, PListValue::null());
  EXPECT_FALSE(null.doubleValue());
  EXPECT_FALSE(null.int32Value());
  EXPECT_FALSE(null.integerValue());
  EXPECT_FALSE(null.textValue());
  EXPECT_FALSE(null.objectForKey("x"));
  EXPECT_FALSE(PListValue::integer(0).isNull());
  EXPECT_FALSE(PListValue::text("").isNull());

  // Inside containers it takes a place like any other value.
  PListValue array = PListValue::array({PListValue::null(), PListValue::integer(1)});
  EXPECT_EQ(array, PListValue::array({PListValue::null(), PListValue::integer(1)}));
  EXPECT_NE(array, PListValue::array({PListValue::integer(0), PListValue::integer(1)}));
  PListValue dict = PListValue::dictionary({{"k", PListValue::null()}});
  ASSERT_TRUE(dict.objectForKey("k"));
  EXPECT_TRUE(dict.objectForKey("k")->isNull());
}

}  // namespace
}  // namespace twinlens
