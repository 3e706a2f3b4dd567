// Runs the feedback tests inside a QApplication on the offscreen platform, with the user
// defaults in a folder of their own and no proxy between the reporter and the test server.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "qt_test_support.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::testing {

void deleteLaterObjects() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace twinlens::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  for (const char* proxy :
       {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
    ::unsetenv(proxy);
  twinlens::testing::TempDir config;
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  QApplication app(argc, argv);
  int status = RUN_ALL_TESTS();
  twinlens::testing::deleteLaterObjects();
  return status;
}
