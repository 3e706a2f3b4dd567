#include "app/feedback/feedback_strings.hpp"

#include <gtest/gtest.h>

#include "qt_test_support.hpp"

namespace twinlens {
namespace {

TEST(FeedbackStrings, FormattedFillsPlaceholdersInOrder) {
  struct Case {
    const char* format;
    QStringList arguments;
    const char* expected;
  };
  const Case cases[] = {
      {"%@ Feedback", {QStringLiteral("Twinlens")}, "Twinlens Feedback"},
      {"%@ and %@", {QStringLiteral("a"), QStringLiteral("b")}, "a and b"},
      {"%@ and %@", {QStringLiteral("a")}, "a and "},
      {"no placeholder", {QStringLiteral("a")}, "no placeholder"},
      {"100%% of %@", {QStringLiteral("it")}, "100% of it"},
      {"%%@ stays", {QStringLiteral("a")}, "%@ stays"},
      {"trailing %", {}, "trailing %"},
      // An argument is put in as it stands, never read as a format.
      {"[%@]", {QStringLiteral("%@ %%")}, "[%@ %%]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FeedbackStrings::formatted(QString::fromUtf8(c.format), c.arguments),
              QString::fromUtf8(c.expected));
  }
}

TEST(FeedbackStrings, ResourcesGiveEveryLabelAndSection) {
  FeedbackStrings strings;
  for (const char* key :
       {"includeContactInfo", "name", "email", "includeHardwareDetails", "cancel", "send"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(strings.label(QString::fromUtf8(key)).isEmpty());
  }
  // A key the table lacks is its own text.
  EXPECT_EQ(strings.text(QStringLiteral("No Such Key")), QStringLiteral("No Such Key"));
}

}  // namespace
}  // namespace twinlens
