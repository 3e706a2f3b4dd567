#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "plist/number_scan.hpp"
#include "plist/value_nodes.hpp"
#include "shared/logging.hpp"
#include "support/comma_locale.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

// Each text gives its leading integer, clamped, or fails naming the text.
TEST(IntegerNodeTest, WithStringReadsTheLeadingIntegerOrFailsNamingTheTextAndTracing) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"  42abc", 42},
      {"0x1F", 0},
      {"\n\t -17 ", -17},
      {"+5", 5},
      {"1.9", 1},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"abc", {}},
      {"", {}},
      {"-", {}},
      {" + 1", {}},
      {"x12", {}}};
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    ErrorRecord error;
    auto node = IntegerNode::withString(text, &error);
    EXPECT_EQ(node ? std::optional(node->longlongValue()) : std::nullopt, value);
    if (value) continue;
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
    EXPECT_EQ(error.description(), std::string("string does not contain a long long: ") + text);
  }
  // A failure writes one trace line, and only when asked for a record.
  testing::LogCapture capture(kLogLevelTrace);
  EXPECT_EQ(IntegerNode::withString("abc"), nullptr);
  EXPECT_TRUE(capture.linesStartingWith("TRACE").empty());
  ErrorRecord error;
  EXPECT_EQ(IntegerNode::withString("abc", &error), nullptr);
  EXPECT_EQ(capture.linesStartingWith("TRACE").size(), 1u);
}

TEST(RealNodeTest, WithStringReadsTheLeadingDecimalNumberOrFailsNamingTheText) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"1.5e3", 1500},
      {"  -0.25xyz", -0.25},
      {".5", 0.5},
      {"5.", 5},
      {"1e", 1},
      {"2E+2", 200},
      {"0x10", 0},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e-400", 0},
      {"inf", HUGE_VAL},
      {"-inf", -HUGE_VAL},
      {"Infinity", HUGE_VAL},
      {"nan", NAN},
      {"-nan", NAN},
      {"", {}},
      {"abc", {}},
      {".", {}},
      {"-.", {}},
      {"e5", {}},
      {"in", {}},
  };
  for (const auto& [text, value] : cases) {
    SCOPED_TRACE(text);
    ErrorRecord error;
    auto node = RealNode::withString(text, &error);
    ASSERT_EQ(node != nullptr, value.has_value());
    if (value) {
      EXPECT_TRUE(node->doubleValue() == *value ||
                  (std::isnan(*value) && std::isnan(node->doubleValue())));
      continue;
    }
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
    EXPECT_EQ(error.description(), std::string("string does not contain a double: ") + text);
  }
}

TEST(NumberScanTest, FixedSixWritesEveryDigit) {
  EXPECT_EQ(formatFixedSix(-2), "-2.000000");
  EXPECT_EQ(formatFixedSix(std::numeric_limits<double>::max()).size(), 316u);
}

TEST(NumberScanTest, PointIsTheSeparatorWhateverTheLocale) {
  testing::TempDir dir;
  if (!testing::selectCommaLocale(dir)) GTEST_SKIP() << "no de_DE locale and localedef failed";
  EXPECT_EQ(scanDouble("1.5"), 1.5);
  EXPECT_EQ(scanDouble("1,5"), 1.0);
  EXPECT_EQ(formatFixedSix(0.5), "0.500000");
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace twinlens
