#pragma once

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/app_controller.hpp"
#include "app/qt_main_thread.hpp"
#include "catalog/defaults.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "support/fake_script_host.hpp"

namespace twinlens::testing {

// The application's setting for one test: preferences and caches in a fresh folder, a fake
// script host, and a controller whose desktop is under the test's control.
class AppFixture {
 public:
  // With `realIPhoto`, scripts go to the stand-in iPhoto over its socket and the running
  // processes are looked up for real; otherwise a fake script host answers.
  explicit AppFixture(bool realIPhoto = false);
  ~AppFixture();

  // Writes a sample library under the test's folder; `root` makes it iPhoto's RootDirectory.
  std::string writeLibrary(sample::SampleLibraryOptions options, bool root = true,
                           const std::string& name = "Sample Library");
  const sample::SampleLibrary& library() const { return *library_; }
  void setRootDirectory(const std::string& path);
  void setUseAppleScript(bool flag);

  // A new controller, as at launch (the previous one is destroyed first).
  AppController& launch();
  AppController& controller() { return *controller_; }
  // Starts the sequence and waits until the scan has told its outcome.
  bool scan();
  bool waitForScan();
  // Writes `options` as iPhoto's library, launches and scans it.
  bool scanLibrary(sample::SampleLibraryOptions options);

  std::shared_ptr<UserDefaults> applicationDefaults() const { return applicationDefaults_; }
  std::shared_ptr<Defaults> defaults() const { return defaults_; }
  FakeScriptHost& scriptHost() { return **scriptHost_; }
  QString folder() const { return dir_.path(); }

  bool iPhotoRunning = false;
  int quitCount = 0;
  QList<QUrl> openedURLs;
  // False: the desktop opens no address, as when no web browser is installed.
  bool browserAvailable = true;
  int scansTold = 0;

 private:
  QTemporaryDir dir_;
  QtMainThread mainThread_;
  bool realIPhoto_;
  std::optional<ScopedFakeScriptHost> scriptHost_;
  std::shared_ptr<UserDefaults> applicationDefaults_;
  std::shared_ptr<UserDefaults> iPhotoPreferences_;
  std::shared_ptr<Defaults> defaults_;
  std::unique_ptr<sample::SampleLibrary> library_;
  std::unique_ptr<AppController> controller_;
};

// Sixteen photos with every kind of copy; no copies at all.
sample::SampleLibraryOptions smallLibrary();
sample::SampleLibraryOptions libraryWithoutCopies(std::size_t photos);

// The window-modal message box of that object name on `window`, or null.
QMessageBox* sheetNamed(QWidget* window, const QString& name);
// The same once it shows, waiting for a run of scripts to end.
QMessageBox* waitForSheet(QWidget* window, const QString& name);
// The texts of a message box's buttons, sorted.
QStringList buttonTexts(const QMessageBox& box);
// An alert in one line to compare: "text|informative text|buttons|default button|icon".
QString describe(const QMessageBox* box);
QAbstractButton* buttonWithText(const QMessageBox& box, const QString& text);
// Runs `handler` on the next application-modal dialog once it is showing (from the loop that
// dialog's exec() runs). Handlers queue: each modal dialog is handed to the next handler.
void whenModal(std::function<void(QWidget*)> handler);

}  // namespace twinlens::testing
