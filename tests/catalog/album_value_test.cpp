#include "catalog/album_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

}  // namespace
}  // namespace twinlens
