#include "platform/plist_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace twinlens {
namespace {

using Type = PListValue::Type;

TEST(PListValue, EachFactoryMakesItsTypeAndOnlyThatAccessorAndOnlyDictionariesHaveKeys) {
  const std::pair<PListValue, Type> cases[] = {
      {PListValue::dictionary({{"k", PListValue::text("v")}}), Type::Dictionary},
      {PListValue::array(
           {PListValue::dictionary({{"k", PListValue::text("v")}}), PListValue::integer(2)}),
       Type::Array},
      {PListValue::text("hello"), Type::Text},
      {PListValue::integer(-5), Type::Integer},
      {PListValue::real(2.5), Type::Real},
      {PListValue::boolean(true), Type::Boolean},
      {PListValue::date(Date::withTimeIntervalSinceReferenceDate(100)), Type::Date},
      {PListValue::data({1, 2, 3}), Type::Data},
      {PListValue::null(), Type::Null},
  };
  EXPECT_EQ(*cases[0].first.objectForKey("k")->textValue(), "v");
  for (const auto& [value, type] : cases) {
    SCOPED_TRACE(static_cast<int>(type));
    EXPECT_EQ(value.type(), type);
    EXPECT_EQ(value.isNull(), type == Type::Null);
    EXPECT_EQ(value.dictionaryValue() && value.dictionaryValue()->size() == 1,
              type == Type::Dictionary);
    EXPECT_EQ(value.arrayValue() && value.arrayValue()->size() == 2, type == Type::Array);
    EXPECT_EQ(value.textValue() && *value.textValue() == "hello", type == Type::Text);
    EXPECT_EQ(value.integerValue() == -5, type == Type::Integer);
    EXPECT_EQ(value.realValue() == 2.5, type == Type::Real);
    EXPECT_EQ(value.booleanValue() == true, type == Type::Boolean);
    EXPECT_EQ(value.dateValue() == Date::withTimeIntervalSinceReferenceDate(100),
              type == Type::Date);
    EXPECT_EQ(value.dataValue() && *value.dataValue() == Data({1, 2, 3}), type == Type::Data);
    EXPECT_EQ(value.objectForKey("k") != nullptr, type == Type::Dictionary);
    EXPECT_FALSE(value.objectForKey("K")) << "keys are case-sensitive";
  }
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
      {"null", PListValue::null(), std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.doubleValue(), c.asDouble);
    EXPECT_EQ(c.value.int32Value(), c.asInt32);
  }
  EXPECT_EQ(PListValue::real(std::nan("")).int32Value(), 0);
}

TEST(PListValue, EqualityIsDeepAndNumbersCompareByValueAcrossIntegerAndReal) {
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
  EXPECT_EQ(PListValue::integer(2), PListValue::real(2.0));
  EXPECT_EQ(PListValue::real(2.0), PListValue::integer(2));
  EXPECT_NE(PListValue::integer(2), PListValue::real(2.5));
  EXPECT_NE(PListValue::integer(std::numeric_limits<std::int64_t>::max()),
            PListValue::real(9223372036854775808.0));
  EXPECT_NE(PListValue::integer(0), PListValue::real(std::nan("")));
  EXPECT_NE(PListValue::data({1, 2}), PListValue::data({1}));
  EXPECT_NE(PListValue::date(Date::withTimeIntervalSinceReferenceDate(5)),
            PListValue::date(Date::withTimeIntervalSinceReferenceDate(6)));
  EXPECT_NE(PListValue::array({PListValue::integer(1)}),
            PListValue::array({PListValue::integer(1), PListValue::integer(1)}));
  EXPECT_EQ(PListValue::array({PListValue::null(), PListValue::integer(1)}),
            PListValue::array({PListValue::null(), PListValue::integer(1)}));
  EXPECT_NE(PListValue::array({PListValue::null(), PListValue::integer(1)}),
            PListValue::array({PListValue::integer(0), PListValue::integer(1)}));

  // Values of different types never compare equal, whatever their content.
  const PListValue values[] = {PListValue::integer(0),
                               PListValue::boolean(false),
                               PListValue::date(Date::withTimeIntervalSinceReferenceDate(0)),
                               PListValue::text(""),
                               PListValue::data({}),
                               PListValue::array({}),
                               PListValue::dictionary({}),
                               PListValue::null(),
                               PListValue::text("0"),
                               PListValue::boolean(true)};
  for (std::size_t i = 0; i < std::size(values); ++i)
    for (std::size_t j = 0; j < std::size(values); ++j) {
      SCOPED_TRACE(std::to_string(i) + " against " + std::to_string(j));
      EXPECT_EQ(values[i] == values[j], i == j);
    }
  EXPECT_NE(PListValue::real(0.0), PListValue::date(Date::withTimeIntervalSinceReferenceDate(0)));
  EXPECT_NE(PListValue::integer(1), PListValue::boolean(true));
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

// The entries in iteration order as "key=value ...", each value also looked up by its key.
std::string listed(const PListValue::Dictionary& entries) {
  std::string text;
  for (const auto& [key, value] : entries) {
    text += key + "=" + std::to_string(*value.integerValue()) + " ";
    EXPECT_EQ(entries.at(key).integerValue(), value.integerValue());
  }
  return text;
}

TEST(PListValueDictionary, IteratesInKeyOrderTheLastOfRepeatedKeysWinsAndInsertOrAssignKeepsIt) {
  auto n = [](std::int64_t value) { return PListValue::integer(value); };
  const std::pair<PListValue::Dictionary, const char*> cases[] = {
      {{}, ""},
      {{{"a", n(1)}, {"b", n(2)}}, "a=1 b=2 "},
      {{{"Roll", n(1)}, {"ImagePath", n(2)}, {"Caption", n(3)}}, "Caption=3 ImagePath=2 Roll=1 "},
      {{{"k", n(1)}, {"j", n(2)}, {"k", n(3)}}, "j=2 k=3 "},
      {{{"k", n(1)}, {"k", n(2)}, {"k", n(3)}}, "k=3 "},
      {{{"z", n(1)}, {"", n(2)}}, "=2 z=1 "},
  };
  for (const auto& [entries, expected] : cases) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(listed(entries), expected);
  }
  PListValue::Dictionary entries{{"b", PListValue::integer(2)}};
  entries.insert_or_assign("c", PListValue::integer(3));
  entries.insert_or_assign("a", PListValue::integer(1));
  entries.insert_or_assign("b", PListValue::integer(22));
  EXPECT_EQ(listed(entries), "a=1 b=22 c=3 ");
  EXPECT_FALSE(entries.contains("d"));
  EXPECT_EQ(entries.find("bb"), entries.end());
  EXPECT_THROW(static_cast<void>(entries.at("d")), std::out_of_range);
}

}  // namespace
}  // namespace twinlens
