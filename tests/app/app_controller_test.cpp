#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <thread>

#include "app/app_test_support.hpp"
#include "app/browser/image_browser_view.hpp"
#include "app/help_bubble.hpp"
#include "app/help_window.hpp"
#include "app/main_window.hpp"
#include "app/sheets/cataloging_sheet.hpp"
#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"

namespace twinlens {

using testing::AppFixture;
using testing::buttonTexts;
using testing::buttonWithText;
using testing::describe;
using testing::libraryWithoutCopies;
using testing::sheetNamed;
using testing::smallLibrary;
using testing::waitForSheet;
using testing::whenModal;

class AppControllerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { fixture_ = std::make_unique<AppFixture>(); }
  void cleanup() { fixture_.reset(); }

  // The first scan ever shows the duplicates and a bubble about them; later scans no bubble.
  void scanShowsTheDuplicatesAndTheHelpBubbleOnce() {
    fixture_->writeLibrary(smallLibrary());
    AppController& controller = fixture_->launch();
    MainWindow& window = controller.mainWindow();
    window.show();
    QVERIFY(!controller.sliderEnabled());
    QCOMPARE(controller.imageBrowser().itemCount(), 0u);
    controller.startUp();
    QCOMPARE(controller.startupState(), 0u);
    CatalogingSheet& sheet = controller.catalogingSheet();
    QVERIFY(sheet.isVisible() && sheet.windowModality() == Qt::WindowModal);
    QVERIFY(fixture_->waitForScan());
    QCOMPARE(sheet.headline()->text(), QString("Cataloging photos in Sample Library"));
    QCOMPARE(sheet.progressDescription()->text(),
             QString("%1 of %1 items").arg(controller.cataloger().total()));

    std::size_t duplicates = fixture_->library().expectedDuplicateKeys().size();
    QVERIFY(duplicates > 1 && !sheet.isVisible());
    QCOMPARE(controller.duplicatesCount(), duplicates);
    QCOMPARE(controller.duplicatesCountDescription(), QString("%1 duplicates").arg(duplicates));
    QCOMPARE(window.countLabel()->text(), controller.duplicatesCountDescription());
    QCOMPARE(window.libraryLabel()->text(), QString("Sample Library"));
    QVERIFY(controller.sliderEnabled() && window.zoomSlider()->isEnabled());
    QVERIFY(controller.moveToTrashButtonEnabled() && controller.addToAlbumButtonEnabled());
    QVERIFY(window.moveToTrashButton()->isEnabled());
    QCOMPARE(controller.imageBrowser().itemCount(), controller.cataloger().thumbnails().size());
    QCOMPARE(controller.imageBrowser().groupCount(),
             fixture_->library().expectedDuplicateSets().size());
    QVERIFY(controller.selectDuplicatesInIPhoto() && !controller.hideAlreadyInAlbumMessage());

    HelpBubble* bubble = controller.attachedWindow();
    QVERIFY(bubble && bubble->isVisible() && bubble->isBouncing());
    QCOMPARE(bubble->parentWidget(), &window);
    QCOMPARE(bubble->attachPoint(), QPoint(10, window.height() / 2));
    QVERIFY(fixture_->applicationDefaults()->booleanForKey("helpBubbleShown").value_or(false));
    QTest::keyClick(&controller.imageBrowser(), Qt::Key_Left);
    QVERIFY(!controller.attachedWindow());

    // The browser is empty while a rescan replaces what it shows.
    controller.rescan();
    QCOMPARE(controller.imageBrowser().itemCount(), 0u);
    QVERIFY(!controller.moveToTrashButtonEnabled());
    QVERIFY(fixture_->waitForScan());
    QCOMPARE(controller.imageBrowser().itemCount(), controller.cataloger().thumbnails().size());
    QVERIFY(!controller.attachedWindow());
    AppController& relaunched = fixture_->launch();
    QVERIFY(fixture_->scan());
    QVERIFY(!relaunched.attachedWindow());
  }

  void folderIsScannedWithoutIPhotoAndMovedToTheDesktopTrash() {
    std::string folder = fixture_->writeLibrary(smallLibrary()) + "/Originals";
    QString png = QString::fromStdString(folder) + "/a.png";
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QVERIFY(image.save(png) && QFile::copy(png, png + ".png"));
    fixture_->iPhotoRunning = true;
    AppController& controller = fixture_->launch();
    controller.setFolderToScan(folder);
    QVERIFY(fixture_->scan());
    QVERIFY(!sheetNamed(&controller.mainWindow(), "quitIPhotoSheet"));
    QCOMPARE(controller.mainWindow().libraryLabel()->text(), QString("Originals"));
    QCOMPARE(controller.mainWindow().moveToTrashButton()->text(),
             QString("Move Duplicates to Trash"));
    QVERIFY(controller.imageBrowser().groupCount() > 0);
    QCOMPARE(controller.imageBrowser().itemCount(), controller.cataloger().thumbnails().size());
    QStringList reasons;
    for (const DuplicateGroup& group : controller.cataloger().duplicateGroups())
      for (std::size_t at = group.location; at < group.location + group.length; ++at) {
        QString path = QString::fromStdString(*controller.cataloger().thumbnails()[at].path());
        QStringList lines = controller.imageBrowser().toolTipAtIndex(at).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[2], path);
        if (path.endsWith(".png")) QVERIFY(lines[3].endsWith(", 3 \u00d7 2"));
        reasons.push_back(lines.back());
      }
    reasons.removeDuplicates();
    reasons.sort();
    QCOMPARE(reasons, (QStringList{"kept photo", "same file", "same picture, other metadata"}));

    std::size_t duplicates = controller.duplicatesCount();
    QVERIFY(controller.mainWindow().openFolderAction()->isEnabled());
    controller.moveToTrash();
    QVERIFY(!controller.mainWindow().openFolderAction()->isEnabled());
    QMessageBox* done = waitForSheet(&controller.mainWindow(), "moveToTrashCompleteWindow");
    QVERIFY(done);
    QCOMPARE(done->text(), QString("Moved %1 photos to the trash.").arg(duplicates));
    QCOMPARE(QDir(fixture_->folder() + "/data/Trash/files").entryList(QDir::Files).size(),
             qsizetype(duplicates));
    for (const DuplicateGroup& group : controller.cataloger().duplicateGroups())
      QVERIFY(QFile::exists(
          QString::fromStdString(*controller.cataloger().thumbnails()[group.location].path())));
  }

  void quittingDuringAScanCancelsItAndQuitsAtItsEnd() {
    std::string library = fixture_->writeLibrary(smallLibrary());
    fixture_->setUseAppleScript(true);
    AppController& controller = fixture_->launch();
    int quitsDuringScan = -1;
    controller.cataloger().setScriptAlbumDataSource([&](ErrorRecord* error) {
      controller.mainWindow().quitAction()->trigger();
      quitsDuringScan = fixture_->quitCount;
      return PListReader::parseFile(library + "/AlbumData.xml", error);
    });
    controller.startUp();
    QTRY_VERIFY(controller.cataloger().waitForWorkers(std::chrono::milliseconds(0)));
    QCOMPARE(quitsDuringScan, 0);
    QCOMPARE(fixture_->quitCount, 1);
    QCOMPARE(controller.duplicatesCount(), 0u);
  }

  void oneDuplicateIsSingularAndNoneDisablesTheControls() {
    sample::SampleLibraryOptions one = libraryWithoutCopies(10);
    one.exactCopyFraction = 0.1;
    QVERIFY(fixture_->scanLibrary(one));
    QCOMPARE(fixture_->controller().duplicatesCountDescription(), QString("1 duplicate"));
    fixture_->writeLibrary(libraryWithoutCopies(6), true, "No Copies");
    AppController& controller = fixture_->launch();
    QVERIFY(fixture_->scan());
    QCOMPARE(controller.duplicatesCountDescription(), QString("0 duplicates"));
    QVERIFY(!controller.sliderEnabled() && !controller.moveToTrashButtonEnabled());
    QVERIFY(!controller.mainWindow().moveToTrashButton()->isEnabled());
    QCOMPARE(controller.imageBrowser().itemCount(), 0u);
    QVERIFY(!controller.imageBrowser().validateMenuItem(ImageBrowserView::kSelectAllTag));
    QMessageBox* alert = sheetNamed(&controller.mainWindow(), "noDuplicatesAlert");
    QCOMPARE(describe(alert), QString("No duplicates found||OK||"));
    QVERIFY(alert->windowModality() == Qt::WindowModal && !controller.attachedWindow());
    buttonWithText(*alert, "OK")->click();
    QCOMPARE(fixture_->quitCount, 0);
  }

  // Cancel quits; Quit iPhoto waits for it to go, without blocking the window, then scans.
  void iPhotoRunningIsAskedAboutFirst() {
    fixture_->writeLibrary(smallLibrary());
    fixture_->iPhotoRunning = true;
    for (const char* answer : {"Cancel", "Quit iPhoto"}) {
      AppController& controller = fixture_->launch();
      controller.startUp();
      QCOMPARE(controller.startupState(), 2u);
      QMessageBox* sheet = sheetNamed(&controller.mainWindow(), "quitIPhotoSheet");
      QCOMPARE(describe(sheet),
               QString("Twinlens will quit iPhoto.|Twinlens cannot scan the iPhoto Library while "
                       "iPhoto is open.|Cancel,Quit iPhoto|Quit iPhoto|warning"));
      QVERIFY(sheet->windowModality() == Qt::WindowModal);
      buttonWithText(*sheet, answer)->click();
      QVERIFY(!controller.catalogingSheet().isVisible());
      QCOMPARE(fixture_->quitCount, 1);
    }
    AppController& controller = fixture_->controller();
    QCOMPARE(controller.startupState(), 0u);
    QVERIFY(controller.quittingIPhotoWindow().isVisible());
    bool handled = false;
    QTimer::singleShot(0, [&] { handled = true; });
    QTRY_VERIFY(handled);
    QTest::qWait(700);
    QVERIFY(controller.quittingIPhotoWindow().isVisible());
    QVERIFY(!controller.catalogingSheet().isVisible());
    int scans = fixture_->scansTold;
    fixture_->iPhotoRunning = false;
    QTRY_VERIFY_WITH_TIMEOUT(!controller.quittingIPhotoWindow().isVisible(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(fixture_->scansTold > scans, 30000);
    QCOMPARE(fixture_->quitCount, 1);
  }

  void scriptSourceSkipsTheQuestionAndFallsBackToAlbumData() {
    fixture_->writeLibrary(smallLibrary());
    fixture_->setUseAppleScript(true);
    fixture_->iPhotoRunning = true;
    fixture_->scriptHost().failWith(-1728, "Can't get photo library album.");
    AppController& controller = fixture_->launch();
    testing::LogCapture log(kLogLevelError);
    controller.startUp();
    // No question about iPhoto: the scan asks it for the catalogue at once, fails, and the
    // sequence starts again reading AlbumData.xml, which needs iPhoto gone.
    QTRY_VERIFY_WITH_TIMEOUT(sheetNamed(&controller.mainWindow(), "quitIPhotoSheet"), 10000);
    QVERIFY(fixture_->defaults()->useAlbumDataXML());
    QVERIFY(log.contains("got error (trying again): "));
    QCOMPARE(fixture_->quitCount, 0);
  }

  // The script source fails, and so does the retry from AlbumData.xml: its error is shown, and
  // nothing is cached as if a scan had ended.
  void failedRetryFromAlbumDataShowsItsErrorAndQuits() {
    QDir(fixture_->folder()).mkdir("Broken Library");
    QFile catalogue(fixture_->folder() + "/Broken Library/AlbumData.xml");
    QVERIFY(catalogue.open(QIODevice::WriteOnly) && catalogue.write("<plist>") > 0);
    catalogue.close();
    const std::string library = (fixture_->folder() + "/Broken Library").toStdString();
    fixture_->setRootDirectory(library);
    fixture_->setUseAppleScript(true);
    fixture_->scriptHost().failWith(-1728, "Can't get photo library album.");
    AppController& controller = fixture_->launch();
    QString text;
    whenModal([&](QWidget* modal) {
      auto* alert = qobject_cast<QMessageBox*>(modal);
      QVERIFY(alert);
      QCOMPARE(alert->icon(), QMessageBox::Warning);
      text = alert->text();
      alert->button(QMessageBox::Ok)->click();
    });
    controller.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(fixture_->quitCount, 1, 10000);
    QVERIFY(!text.isEmpty() && !text.contains("photo library album"));
    QVERIFY(!QFile::exists(
        QString::fromStdString(PhotoLibrary::cachePathForIPhotoLibraryPath(library))));
  }

  void cancelledScanQuitsWithoutAnAlert() {
    fixture_->writeLibrary(smallLibrary());
    AppController& controller = fixture_->launch();
    controller.catalogingDidFail(
        ErrorRecord(Cataloger::errorDomain(), Cataloger::kAbortedError, "abort requested"));
    QCOMPARE(fixture_->quitCount, 1);
    // Whatever the source: the script source does not retry a cancelled scan either.
    fixture_->setUseAppleScript(true);
    controller.catalogingDidFail(
        ErrorRecord(Cataloger::errorDomain(), Cataloger::kAbortedError, "abort requested"));
    QCOMPARE(fixture_->quitCount, 2);
    QVERIFY(!fixture_->defaults()->useAlbumDataXML());
    // Callbacks off the main thread are refused.
    bool refused = false;
    std::thread([&] {
      try {
        controller.catalogingDidSucceed(0);
      } catch (const std::exception&) {
        refused = true;
      }
    }).join();
    QVERIFY(refused);
  }

  // The open panel asks until a library is chosen; declining it, or quitting from the alert
  // about a folder that is no library, quits.
  void openPanelAsksUntilALibraryIsChosen() {
    std::string library = fixture_->writeLibrary(smallLibrary(), false);
    QString notALibrary = fixture_->folder() + "/Not A Library";
    QDir(fixture_->folder()).mkdir("Not A Library");
    // A RootDirectory without a catalogue (a library moved away) is asked about like none.
    fixture_->setRootDirectory(notALibrary.toStdString());
    QStringList seen;
    auto choose = [&](const QString& path) {
      whenModal([&, path](QWidget* modal) {
        auto* panel = qobject_cast<QFileDialog*>(modal);
        QVERIFY(panel);
        seen << panel->windowTitle();
        QCOMPARE(panel->fileMode(), QFileDialog::Directory);
        QVERIFY(panel->testOption(QFileDialog::ReadOnly));
        if (path.isEmpty()) return panel->reject();
        panel->selectFile(path);
        QMetaObject::invokeMethod(panel, "accept");
      });
    };
    auto answer = [&](const QString& button) {
      whenModal([&, button](QWidget* modal) {
        auto* alert = qobject_cast<QMessageBox*>(modal);
        QVERIFY(alert);
        seen << alert->windowTitle() << describe(alert);
        buttonWithText(*alert, button)->click();
      });
    };
    for (int quits : {1, 2}) {
      choose(quits == 1 ? QString() : notALibrary);
      if (quits == 2) answer("Quit");
      fixture_->launch().startUp();
      QCOMPARE(fixture_->quitCount, quits);
      QVERIFY(!fixture_->controller().catalogingSheet().isVisible());
    }
    seen.clear();
    choose(notALibrary);
    answer("Try Again");
    choose(QString::fromStdString(library));
    AppController& controller = fixture_->launch();
    QVERIFY(fixture_->scan());
    QCOMPARE(
        seen,
        (QStringList{"Select the iPhoto Library:", "Twinlens",
                     "That doesn't look like an iPhoto Library.||Quit,Try Again|Try Again|warning",
                     "Select the iPhoto Library:"}));
    QCOMPARE(controller.iPhotoLibraryPath(), library);
    QCOMPARE(fixture_->quitCount, 2);
  }

  void logLevelComesFromTheDefaults() {
    fixture_->launch();
    QCOMPARE(globalLogLevel.load(), kLogLevelInfo);
    fixture_->applicationDefaults()->setInteger((std::int64_t{7} << 32) | 4, "logLevel");
    fixture_->launch();
    QCOMPARE(globalLogLevel.load(), kLogLevelDebug);
    fixture_->applicationDefaults()->setInteger(std::int64_t{1} << 32, "logLevel");
    fixture_->launch();
    QCOMPARE(globalLogLevel.load(), kLogLevelInfo);
    setLogLevel(kLogLevelWarn);
  }

  void launchingAddsTheUpdateItemAndStartsUp() {
    fixture_->writeLibrary(smallLibrary());
    AppController& controller = fixture_->launch();
    controller.applicationDidFinishLaunching();
    QList<QAction*> items = controller.mainWindow().appMenu()->actions();
    QCOMPARE(items.at(1)->text(), QString("Check for Updates..."));
    QVERIFY(items.at(1)->shortcut().isEmpty());
    QVERIFY(controller.mainWindow().isVisible());
    // The sequence starts a tenth of a second later, from the event loop.
    QVERIFY(!controller.catalogingSheet().isVisible());
    QVERIFY(fixture_->waitForScan());
  }

  void reopenShowsAHiddenWindowAndClosingItQuits() {
    AppController& controller = fixture_->launch();
    QVERIFY(!controller.mainWindow().isVisible());
    QVERIFY(!controller.applicationShouldHandleReopen(false));
    QVERIFY(controller.mainWindow().isVisible());
    QVERIFY(!controller.applicationShouldHandleReopen(true));
    controller.mainWindow().close();
    QCOMPARE(fixture_->quitCount, 0);
    QTRY_COMPARE(fixture_->quitCount, 1);
  }

  // Without a browser, help opens in its own window and the site's address is shown.
  void helpAndWebSiteOpenInTheBrowserOrHere() {
    AppController& controller = fixture_->launch();
    controller.showHelp();
    controller.visitTwinlensWebSite();
    QList<QUrl>& opened = fixture_->openedURLs;
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened[0].fragment(), QString("Home"));
    QVERIFY(opened[0].isLocalFile() && opened[0].path().endsWith("/help/index.html"));
    QCOMPARE(opened[1].scheme(), QString("https"));
    fixture_->browserAvailable = false;
    controller.showHelp();
    auto* help = controller.mainWindow().findChild<HelpWindow*>("helpWindow");
    QVERIFY(help && help->isVisible() && help->isWindow());
    QCOMPARE(help->source(), opened.at(2));
    controller.visitTwinlensWebSite();
    QMessageBox* alert = sheetNamed(&controller.mainWindow(), "webSiteAlert");
    QVERIFY(alert && alert->informativeText().contains(opened.at(3).toString()));
    QCOMPARE(alert->icon(), QMessageBox::Warning);
  }

  void windowFrameIsKeptForTheNextStartAndControlsStayWhole() {
    MainWindow& first = fixture_->launch().mainWindow();
    first.show();
    first.setGeometry(120, 90, 700, 500);
    MainWindow& next = fixture_->launch().mainWindow();
    next.show();
    QCOMPARE(next.geometry(), QRect(120, 90, 700, 500));
    next.resize(60, 60);
    QPushButton* button = next.moveToTrashButton();
    QTRY_VERIFY(button->width() >= button->sizeHint().width());
    QVERIFY(next.imageBrowser()->height() >= 200);
  }

 private:
  std::unique_ptr<AppFixture> fixture_;
};

}  // namespace twinlens

QTEST_MAIN(twinlens::AppControllerTest)
#include "app_controller_test.moc"
