#include "app/feedback/linux_feedback_platform.hpp"

#include <gtest/gtest.h>

#include <QSysInfo>
#include <optional>
#include <thread>

#include "qt_test_support.hpp"

namespace twinlens {
namespace {

std::optional<bool> reachabilityOf(const QString& host) {
  std::optional<bool> answer;
  LinuxFeedbackPlatform().checkReachability(host,
                                            [&answer](bool reachable) { answer = reachable; });
  EXPECT_TRUE(testing::runUntil([&answer] { return answer.has_value(); }));
  return answer;
}

TEST(LinuxFeedbackPlatform, LoopbackAddressesAreReachableAndNoHostIsNot) {
  EXPECT_EQ(reachabilityOf(QStringLiteral("127.0.0.1")), true);
  EXPECT_EQ(reachabilityOf(QString()), false);
}

TEST(LinuxFeedbackPlatform, FullNameIsTheCommentUpToTheFirstComma) {
  struct Case {
    const char* gecos;
    std::optional<QString> expected;
  };
  const Case cases[] = {
      {"Jane Doe,Room 12,555-0100,555-0199,", QStringLiteral("Jane Doe")},
      {"Jane Doe", QStringLiteral("Jane Doe")},
      {"  Jane Doe  ,", QStringLiteral("Jane Doe")},
      {"Zo\xc3\xab Br\xc3\xa4u", QStringLiteral("Zo\u00eb Br\u00e4u")},
      {",,,", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gecos);
    EXPECT_EQ(LinuxFeedbackPlatform::fullNameFromGecos(c.gecos), c.expected);
  }
}

// The same made on a worker thread, where Qt must not warn.
TEST(LinuxFeedbackPlatform, MachineProfileDescribesThisMachineWithoutItsHostName) {
  static QStringList warnings;
  QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings.append(text); });
  QString onWorker;
  std::thread([&onWorker] { onWorker = LinuxFeedbackPlatform().machineProfile(); }).join();
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
  QString profile = LinuxFeedbackPlatform().machineProfile();
  EXPECT_EQ(onWorker, profile);
  for (const char* part : {"Kernel: Linux ", "Cores: ", "Memory: "})
    EXPECT_TRUE(profile.contains(QString::fromUtf8(part))) << profile.toStdString();
  QString host = QSysInfo::machineHostName();
  EXPECT_FALSE(host.size() > 3 && profile.contains(host)) << profile.toStdString();
}

}  // namespace
}  // namespace twinlens
