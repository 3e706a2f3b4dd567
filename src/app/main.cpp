#include <QApplication>
#include <QIcon>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_controller.hpp"
#include "app/qt_main_thread.hpp"
#include "catalog/defaults.hpp"
#include "io/file_helpers.hpp"
#include "platform/socket_script_host.hpp"
#include "platform/user_defaults.hpp"
#include "shared/twinlens_app.hpp"

#if TWINLENS_HAVE_FEEDBACK
#include "app/feedback/qv_feedback_controller.hpp"
#endif

namespace {

constexpr const char* kUsage =
    "usage: twinlens [FOLDER]\n"
    "       twinlens --help | --version\n";

void printHelp() {
  std::printf(
      "%s\nFinds the duplicate photos of an iPhoto library, or of a folder of photos, and moves "
      "them to the Trash.\nFOLDER is the iPhoto library or the folder of photos to scan "
      "(default: iPhoto's current library, else one you choose).\n\n  --help     print this help "
      "and exit\n  --version  print the version and "
      "exit\n\nman twinlens has the whole story.\n",
      kUsage);
}

// Answers --help and --version and refuses other options before Qt needs a display; an exit
// status, or nullopt to go on (with *folder the first folder named, if any).
std::optional<int> answerCommandLine(int argc, char** argv, std::optional<std::string>* folder) {
  for (int at = 1; at < argc; ++at) {
    const std::string_view word = argv[at];
    if (word == "--help" || word == "-h") {
      printHelp();
      return 0;
    }
    if (word == "--version") {
      std::printf(
          "twinlens %s\n",
          twinlens::TwinlensApp::infoValue("CFBundleShortVersionString").value_or("").c_str());
      return 0;
    }
    if (word.starts_with('-')) {
      std::fprintf(stderr, "twinlens: unknown option '%s'\n%s", argv[at], kUsage);
      return 2;
    }
    if (!*folder) *folder = twinlens::absoluteNormalPath(word);
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit then fails the write that passes it, an ordinary save error.
  std::signal(SIGXFSZ, SIG_IGN);
  std::optional<std::string> folder;
  if (std::optional<int> status = answerCommandLine(argc, argv, &folder)) return *status;
  QApplication app(argc, argv);
  QString name = QString::fromStdString(twinlens::TwinlensApp::appName());
  QApplication::setApplicationName(name);
  QApplication::setApplicationDisplayName(name);
  // The controller quits after the main window closes, a tenth of a second later.
  QApplication::setQuitOnLastWindowClosed(false);

  twinlens::ScriptHost::setStandard(std::make_shared<twinlens::SocketScriptHost>());
  twinlens::QtMainThread mainThread;
  std::string domain = twinlens::TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
  // The desktop entry and the icon are named after the bundle identifier.
  QApplication::setDesktopFileName(QString::fromStdString(domain));
  QApplication::setWindowIcon(QIcon::fromTheme(QString::fromStdString(domain)));
  twinlens::AppController::Environment environment = twinlens::AppController::standardEnvironment();
#if TWINLENS_HAVE_FEEDBACK
  environment.showFeedback = [](QWidget*) { twinlens::QvFeedbackController::showFeedback(); };
#endif
  std::shared_ptr<twinlens::Defaults> defaults = twinlens::Defaults::standard();
  twinlens::AppController controller(mainThread, defaults,
                                     std::make_shared<twinlens::UserDefaults>(domain),
                                     std::move(environment));
  if (folder) controller.setFolderToScan(*folder);
  controller.applicationDidFinishLaunching();
  return QApplication::exec();
}
