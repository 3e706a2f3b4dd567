// The whole road against the stand-in iPhoto: it runs with the library open, the application
// quits it, scans, moves every duplicate to its trash (starting it again to do so), and a rescan
// finds no duplicate left.
#include <QTest>

#include "app/app_test_support.hpp"
#include "app/main_window.hpp"
#include "iphoto/iphoto_scripts.hpp"
#include "platform/application_launcher.hpp"
#include "platform/process.hpp"
#include "support/stand_in.hpp"

namespace twinlens {

using testing::AppFixture;
using testing::buttonWithText;
using testing::sheetNamed;
using testing::standInExecutable;

namespace {

constexpr int kTimeoutMs = 30000;

bool iPhotoRunning() {
  return Process::isProcessRunningWithBundleIdentifier("com.apple.iPhoto");
}

}  // namespace

class StandInTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QVERIFY2(QFile::exists(QString::fromStdString(standInExecutable())),
             standInExecutable().c_str());
    fixture_ = std::make_unique<AppFixture>(true);
  }
  void cleanup() {
    if (iPhotoRunning()) {
      ErrorRecord error;
      QVERIFY2(QuitIPhotoScript().execute(&error), error.description().c_str());
      QTRY_VERIFY_WITH_TIMEOUT(!iPhotoRunning(), kTimeoutMs);
    }
    fixture_.reset();
  }

  void quitScanMoveEverythingAndRescan() {
    sample::SampleLibraryOptions options = testing::smallLibrary();
    options.photoCount = 20;
    fixture_->writeLibrary(options);
    std::size_t duplicates = fixture_->library().expectedDuplicateKeys().size();
    QVERIFY(duplicates > 0);
    QVERIFY(ApplicationLauncher::launch(standInExecutable()) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(iPhotoRunning(), kTimeoutMs);

    AppController& controller = fixture_->launch();
    controller.mainWindow().show();
    quitIPhotoAndScan(controller);
    QCOMPARE(controller.duplicatesCount(), duplicates);

    controller.moveToTrash();
    QMessageBox* done =
        testing::waitForSheet(&controller.mainWindow(), "moveToTrashCompleteWindow");
    QVERIFY(done);
    QCOMPARE(done->text(), QString("Moved %1 photo%2 to the iPhoto Trash.")
                               .arg(duplicates)
                               .arg(duplicates == 1 ? "" : "s"));
    QVERIFY(iPhotoRunning());
    buttonWithText(*done, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);

    // iPhoto writes its catalogue when it quits; the next scan reads it without the trashed.
    quitIPhotoAndScan(controller);
    QCOMPARE(controller.duplicatesCountDescription(), QString("0 duplicates"));
  }

 private:
  void quitIPhotoAndScan(AppController& controller) {
    int scans = fixture_->scansTold;
    controller.startUp();
    QMessageBox* sheet = sheetNamed(&controller.mainWindow(), "quitIPhotoSheet");
    QVERIFY(sheet);
    buttonWithText(*sheet, "Quit iPhoto")->click();
    QTRY_VERIFY_WITH_TIMEOUT(fixture_->scansTold > scans, kTimeoutMs);
    QVERIFY(!iPhotoRunning());
  }

  std::unique_ptr<AppFixture> fixture_;
};

}  // namespace twinlens

QTEST_MAIN(twinlens::StandInTest)
#include "stand_in_test.moc"
