#include <QApplication>
#include <csignal>
#include <memory>

#include "app/app_controller.hpp"
#include "app/qt_main_thread.hpp"
#include "catalog/defaults.hpp"
#include "platform/user_defaults.hpp"
#include "shared/twinlens_app.hpp"

#if TWINLENS_HAVE_FEEDBACK
#include "app/feedback/qv_feedback_controller.hpp"
#endif

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit then fails the write that passes it, an ordinary save error.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QString name = QString::fromStdString(twinlens::TwinlensApp::appName());
  QApplication::setApplicationName(name);
  QApplication::setApplicationDisplayName(name);
  // The controller quits after the main window closes, a tenth of a second later.
  QApplication::setQuitOnLastWindowClosed(false);

  twinlens::QtMainThread mainThread;
  std::string domain = twinlens::TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
  twinlens::AppController::Environment environment = twinlens::AppController::standardEnvironment();
#if TWINLENS_HAVE_FEEDBACK
  environment.showFeedback = [](QWidget*) { twinlens::QvFeedbackController::showFeedback(); };
#endif
  twinlens::AppController controller(mainThread, twinlens::Defaults::standard(),
                                     std::make_shared<twinlens::UserDefaults>(domain),
                                     std::move(environment));
  controller.applicationDidFinishLaunching();
  return QApplication::exec();
}
