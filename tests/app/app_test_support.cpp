#include "app/app_test_support.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>

#include "platform/socket_script_host.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens::testing {

namespace {
constexpr int kScanTimeoutMs = 30000;
}

AppFixture::AppFixture(bool realIPhoto) : realIPhoto_(realIPhoto) {
  if (!realIPhoto_) scriptHost_.emplace();
  if (realIPhoto_) ScriptHost::setStandard(std::make_shared<SocketScriptHost>());
  qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toUtf8());
  qputenv("XDG_DATA_HOME", (dir_.path() + "/data").toUtf8());
  // The desktop trash of the home file system, where the test's files are, is under it.
  qputenv("HOME", dir_.path().toUtf8());
  // The stand-in iPhoto's socket lives here, away from any other test's.
  QDir(dir_.path()).mkdir("runtime");
  QFile::setPermissions(dir_.path() + "/runtime",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", (dir_.path() + "/runtime").toUtf8());
  std::string folder = (dir_.path() + "/config/twinlens").toStdString();
  std::string domain = TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
  applicationDefaults_ = std::make_shared<UserDefaults>(domain, folder);
  iPhotoPreferences_ = std::make_shared<UserDefaults>(kIPhotoDefaultsDomain, folder);
  defaults_ = std::make_shared<Defaults>(applicationDefaults_, iPhotoPreferences_);
}

AppFixture::~AppFixture() {
  controller_.reset();
}

std::string AppFixture::writeLibrary(sample::SampleLibraryOptions options, bool root,
                                     const std::string& name) {
  std::string path = dir_.path().toStdString() + "/" + name;
  library_ = std::make_unique<sample::SampleLibrary>(path, options);
  if (!library_->write()) qFatal("could not write the sample library");
  if (root) setRootDirectory(path);
  return path;
}

void AppFixture::setRootDirectory(const std::string& path) {
  iPhotoPreferences_->setString(path, kIPhotoRootDirectoryKey);
  (void)iPhotoPreferences_->synchronize();
}

void AppFixture::setUseAppleScript(bool flag) {
  applicationDefaults_->setBoolean(flag, "useAppleScript");
  (void)applicationDefaults_->synchronize();
}

AppController& AppFixture::launch() {
  controller_.reset();
  AppController::Environment environment;
  environment.isIPhotoRunning = realIPhoto_ ? AppController::standardEnvironment().isIPhotoRunning
                                            : [this] { return iPhotoRunning; };
  environment.quitApplication = [this] { ++quitCount; };
  environment.openURL = [this](const QUrl& url) {
    openedURLs.push_back(url);
    return browserAvailable;
  };
  controller_ = std::make_unique<AppController>(mainThread_, defaults_, applicationDefaults_,
                                                std::move(environment));
  QObject::connect(controller_.get(), &AppController::duplicatesCountDescriptionChanged,
                   [this] { ++scansTold; });
  return *controller_;
}

bool AppFixture::scan() {
  controller_->startUp();
  return waitForScan();
}

bool AppFixture::scanLibrary(sample::SampleLibraryOptions options) {
  writeLibrary(options);
  launch();
  return scan();
}

bool AppFixture::waitForScan() {
  int before = scansTold;
  return QTest::qWaitFor([&] { return scansTold > before; }, kScanTimeoutMs);
}

sample::SampleLibraryOptions smallLibrary() {
  return {.photoCount = 16, .imageBytes = 1500};
}

sample::SampleLibraryOptions libraryWithoutCopies(std::size_t photos) {
  return {.photoCount = photos,
          .imageBytes = 1500,
          .exactCopyFraction = 0,
          .metadataCopyFraction = 0,
          .editedFraction = 0,
          .editedAsOtherFraction = 0,
          .unlistedCount = 0,
          .twinlensAlbum = false};
}

QMessageBox* sheetNamed(QWidget* window, const QString& name) {
  for (QMessageBox* box : window->findChildren<QMessageBox*>(name))
    if (box->isVisible()) return box;
  return nullptr;
}

QMessageBox* waitForSheet(QWidget* window, const QString& name) {
  QMessageBox* sheet = nullptr;
  (void)QTest::qWaitFor([&] { return (sheet = sheetNamed(window, name)) != nullptr; },
                        kScanTimeoutMs);
  return sheet;
}

QStringList buttonTexts(const QMessageBox& box) {
  QStringList texts;
  for (QAbstractButton* button : box.buttons()) texts.push_back(button->text());
  texts.sort();
  return texts;
}

QString describe(const QMessageBox* box) {
  if (!box) return "no alert";
  static const QStringList icons{"", "information", "warning", "critical", "question"};
  QString fallback = box->defaultButton() ? box->defaultButton()->text() : QString();
  return QStringList{box->text(), box->informativeText(), buttonTexts(*box).join(","), fallback,
                     icons.value(box->icon())}
      .join("|");
}

QAbstractButton* buttonWithText(const QMessageBox& box, const QString& text) {
  for (QAbstractButton* button : box.buttons())
    if (button->text() == text) return button;
  return nullptr;
}

void whenModal(std::function<void(QWidget*)> handler) {
  static std::deque<std::function<void(QWidget*)>> handlers;
  static QPointer<QTimer> timer;
  handlers.push_back(std::move(handler));
  if (timer) {
    timer->start();
    return;
  }
  timer = new QTimer(qApp);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->windowModality() != Qt::ApplicationModal || !modal->isVisible() ||
        modal->property("tl_handled").toBool() || handlers.empty())
      return;
    modal->setProperty("tl_handled", true);
    auto next = std::move(handlers.front());
    handlers.pop_front();
    next(modal);
    if (handlers.empty()) timer->stop();
  });
  timer->start();
}

}  // namespace twinlens::testing
