#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <numeric>
#include <utility>

#include "app/app_test_support.hpp"
#include "app/browser/image_browser_view.hpp"
#include "app/main_window.hpp"
#include "app/sheets/script_runner_sheet.hpp"
#include "iphoto/apple_script.hpp"
#include "iphoto/iphoto_scripts.hpp"

namespace twinlens {

using testing::AppFixture;
using testing::buttonTexts;
using testing::buttonWithText;
using testing::sheetNamed;

namespace {

constexpr const char* kSelectLibrary = "select photo library album";

sample::SampleLibraryOptions smallLibrary() {
  sample::SampleLibraryOptions options;
  options.photoCount = 16;
  options.imageBytes = 1500;
  return options;
}

std::string removeLine(const std::string& key) {
  return "remove photo id " + std::to_string(*scriptIdentifierForPhotoKey(key));
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

class ActingOnDuplicatesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<AppFixture>();
    fixture_->writeLibrary(smallLibrary());
    controller_ = &fixture_->launch();
    QVERIFY(fixture_->scan());
    duplicates_ = controller_->cataloger().duplicatePhotos().size();
    QVERIFY(duplicates_ >= 3);
  }
  void cleanup() { fixture_.reset(); }

  void wholeLibraryMoveRunsEveryCommandAndQuits() {
    controller_->moveToTrash();
    ScriptRunner& runner = controller_->scriptRunner();
    QCOMPARE(runner.scripts().size(), duplicates_ + 2);
    QVERIFY(dynamic_cast<SelectLibraryAlbumScript*>(runner.scripts().front().get()));
    QVERIFY(dynamic_cast<SelectLibraryAlbumScript*>(runner.scripts().back().get()));
    QVERIFY(runner.cancelable());
    QCOMPARE(runner.message(),
             "Moving " + std::to_string(duplicates_) + " items to Trash in Sample Library");
    QCOMPARE(runner.warning(), std::string("Do not manipulate iPhoto while moving is in progress"));

    ScriptRunnerSheet& sheet = controller_->scriptRunnerSheet();
    QVERIFY(sheet.windowModality() == Qt::WindowModal);
    QCOMPARE(sheet.messageLabel()->text(), QString::fromStdString(runner.message()));
    QVERIFY(!sheet.warningLabel()->isHidden());

    QMessageBox* done = waitForSheet("moveToTrashCompleteWindow");
    QVERIFY(done);
    QVERIFY(!sheet.isVisible());
    QCOMPARE(done->text(), QString("Moved %1 photos to the iPhoto Trash.").arg(duplicates_));
    QCOMPARE(buttonTexts(*done), QStringList{"Quit"});
    std::vector<std::string> texts = fixture_->scriptHost().texts();
    std::size_t removes = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
      return contains(t, "remove photo id");
    });
    QCOMPARE(removes, duplicates_);
    QCOMPARE(fixture_->quitCount, 0);
    buttonWithText(*done, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);
  }

  void failedMovesAreCountedAndRescanStartsOver() {
    std::vector<std::string> keys = duplicateKeys();
    std::string first = removeLine(keys[0]);
    std::string second = removeLine(keys[1]);
    fixture_->scriptHost().answerWith([=](std::string_view source) {
      std::string text(source);
      if (contains(text, first) || contains(text, second))
        return ScriptOutcome::failure(-1728, "Can't get photo.");
      return ScriptOutcome::success(AppleEventDescriptor::null());
    });
    controller_->moveToTrash();
    QMessageBox* alert = waitForSheet("moveToTrashErrorAlert");
    QVERIFY(alert);
    QCOMPARE(alert->text(), QString("Failed to move some photos"));
    QCOMPARE(alert->informativeText(), QString("2 photos could not be moved to the iPhoto Trash."));
    QCOMPARE(buttonTexts(*alert), (QStringList{"Quit", "Rescan"}));
    QCOMPARE(alert->defaultButton()->text(), QString("Quit"));
    fixture_->scriptHost().answerWith(nullptr);
    buttonWithText(*alert, "Rescan")->click();
    QVERIFY(fixture_->waitForScan());
    QCOMPARE(fixture_->quitCount, 0);
  }

  void failedClosingSelectionCountsNoPhotos() {
    int selections = 0;
    fixture_->scriptHost().answerWith([&](std::string_view source) {
      if (contains(std::string(source), kSelectLibrary) && ++selections == 2)
        return ScriptOutcome::failure(-600, "iPhoto got an error: Application isn't running.");
      return ScriptOutcome::success(AppleEventDescriptor::null());
    });
    controller_->moveToTrash();
    QMessageBox* alert = waitForSheet("moveToTrashErrorAlert");
    QVERIFY(alert);
    QCOMPARE(alert->informativeText(), QString("0 photos could not be moved to the iPhoto Trash."));
    buttonWithText(*alert, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);
  }

  void cancelledRunWithFailuresOffersRescanOrQuit() {
    cancelAfterFailingMove(true);
    QMessageBox* sheet = waitForSheet("canceledWindow");
    QVERIFY(sheet);
    QCOMPARE(buttonTexts(*sheet), (QStringList{"Quit", "Rescan"}));
    QVERIFY(sheet->informativeText().startsWith("1 photo was moved"));
    buttonWithText(*sheet, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);
  }

  void cancelledRunRescans() {
    cancelAfterFailingMove(true);
    QMessageBox* sheet = waitForSheet("canceledWindow");
    QVERIFY(sheet);
    fixture_->scriptHost().answerWith(nullptr);
    buttonWithText(*sheet, "Rescan")->click();
    QVERIFY(fixture_->waitForScan());
    QCOMPARE(fixture_->quitCount, 0);
  }

  void cancelledRunWithoutFailuresSaysHowManyMoved() {
    cancelAfterFailingMove(false);
    QMessageBox* done = waitForSheet("moveToTrashCompleteWindow");
    QVERIFY(done);
    QCOMPARE(
        done->text(),
        QString("Moved 2 of %1 photos to the iPhoto Trash before you cancelled.").arg(duplicates_));
    buttonWithText(*done, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);
  }

  void runnerSheetCancelStopsTheRun() {
    int moves = 0;
    fixture_->scriptHost().answerWith([&](std::string_view source) {
      if (contains(std::string(source), "remove photo id") && ++moves == 1)
        controller_->scriptRunnerSheet().cancelButton()->click();
      return ScriptOutcome::success(AppleEventDescriptor::null());
    });
    controller_->moveToTrash();
    QVERIFY(controller_->scriptRunnerSheet().cancelButton()->isEnabled());
    QVERIFY(waitForSheet("moveToTrashCompleteWindow"));
    QVERIFY(controller_->scriptRunner().abortRequested());
    QCOMPARE(moves, 1);
  }

  void deleteKeyMovesTheSelectionInOneCommand() {
    ImageBrowserView& browser = controller_->imageBrowser();
    IndexSet chosen = controller_->duplicatesIndexSet();
    chosen.resize(3);
    std::vector<std::string> keys;
    for (std::size_t i : chosen)
      keys.push_back(controller_->cataloger().thumbnails()[i].iPhotoKey());
    browser.setSelectionIndexes(chosen);
    std::size_t items = browser.itemCount();
    QTest::keyClick(&browser, Qt::Key_Backspace);

    std::vector<std::string> texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 2u);
    QVERIFY(contains(texts[0], kSelectLibrary));
    for (const std::string& key : keys) QVERIFY(contains(texts[1], removeLine(key)));
    QCOMPARE(controller_->duplicatesCount(), duplicates_ - 3);
    QVERIFY(browser.itemCount() < items);
    QVERIFY(browser.selectionIndexes().empty());
    QVERIFY(!sheetNamed(&controller_->mainWindow(), "moveSelectionErrorAlert"));
  }

  void deleteInAFolderMovesTheSelectionToTheDesktopTrashButNeverTheLastCopy() {
    controller_ = &fixture_->launch();
    controller_->setFolderToScan(fixture_->library().libraryPath() + "/Originals");
    QVERIFY(fixture_->scan());
    const DuplicateGroup group = controller_->cataloger().duplicateGroups().front();
    std::vector<QString> paths;
    for (std::size_t at = group.location; at < group.location + group.length; ++at)
      paths.push_back(QString::fromStdString(*controller_->cataloger().thumbnails()[at].path()));
    // Without a file manager's D-Bus service the file's folder is opened.
    controller_->revealItemsAtIndexes({group.location});
    QCOMPARE(fixture_->openedURLs,
             QList{QUrl::fromLocalFile(QFileInfo(paths.front()).absolutePath())});
    IndexSet wholeGroup(group.length);
    std::iota(wholeGroup.begin(), wholeGroup.end(), group.location);
    ImageBrowserView& browser = controller_->imageBrowser();
    browser.setSelectionIndexes(wholeGroup);
    QTest::keyClick(&browser, Qt::Key_Delete);
    QVERIFY(!sheetNamed(&controller_->mainWindow(), "moveSelectionErrorAlert"));
    QVERIFY(QFile::exists(paths.front()));
    for (std::size_t i = 1; i < paths.size(); ++i) {
      QVERIFY(!QFile::exists(paths[i]));
      QString name = QFileInfo(paths[i]).fileName();
      QVERIFY(QFile::exists(fixture_->folder() + "/data/Trash/files/" + name));
      QVERIFY(QFile::exists(fixture_->folder() + "/data/Trash/info/" + name + ".trashinfo"));
    }
    QVERIFY(fixture_->scriptHost().texts().empty());
  }

  void failedSelectionMoveIsShownAndTheWindowUpdatedAnyway() {
    fixture_->scriptHost().failWith(-1728, "Can't get photo id 4294967299.");
    ImageBrowserView& browser = controller_->imageBrowser();
    browser.setSelectionIndexes({controller_->duplicatesIndexSet().front()});
    QTest::keyClick(&browser, Qt::Key_Delete);
    QMessageBox* alert = sheetNamed(&controller_->mainWindow(), "moveSelectionErrorAlert");
    QVERIFY(alert);
    QVERIFY(alert->text().contains("failed to move photos to trash via AppleScript"));
    QCOMPARE(controller_->duplicatesCount(), duplicates_ - 1);
  }

  void deleteWithNothingSelectedRemovesNothing() {
    QTest::keyClick(&controller_->imageBrowser(), Qt::Key_Backspace);
    std::vector<std::string> texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 2u);
    QVERIFY(!contains(texts[1], "remove photo id"));
    QCOMPARE(controller_->duplicatesCount(), duplicates_);
  }

  void arrowKeysDoNothing() {
    ImageBrowserView& browser = controller_->imageBrowser();
    browser.setSelectionIndexes({1});
    QTest::keyClick(&browser, Qt::Key_Right);
    QTest::keyClick(&browser, Qt::Key_Down);
    QCOMPARE(browser.selectionIndexes(), IndexSet{1});
    QVERIFY(fixture_->scriptHost().texts().empty());
  }

  void doubleClickRevealsThatPhoto() {
    ImageBrowserView& browser = controller_->imageBrowser();
    controller_->mainWindow().show();
    QVERIFY(QTest::qWaitForWindowExposed(&controller_->mainWindow()));
    std::size_t index = 2;
    QTest::mouseDClick(browser.viewport(), Qt::LeftButton, {}, browser.itemFrame(index).center());
    std::vector<std::string> texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 1u);
    std::string key = controller_->cataloger().thumbnails()[index].iPhotoKey();
    QVERIFY(
        contains(texts[0], "select photo id " + std::to_string(*scriptIdentifierForPhotoKey(key))));
  }

  void revealUsesTheLowestIndex() {
    controller_->revealItemsAtIndexes({4, 1, 3});
    std::string key = controller_->cataloger().thumbnails()[1].iPhotoKey();
    QVERIFY(contains(fixture_->scriptHost().texts().at(0),
                     "select photo id " + std::to_string(*scriptIdentifierForPhotoKey(key))));
  }

  void nothingIsSentWhileIPhotoHasAnotherLibraryOpen() {
    ImageBrowserView& browser = controller_->imageBrowser();
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"move all", [&] { controller_->moveToTrash(); }},
        {"delete",
         [&] {
           browser.setSelectionIndexes({1});
           QTest::keyClick(&browser, Qt::Key_Delete);
         }},
        {"reveal", [&] { controller_->revealItemsAtIndexes({1}); }},
    };
    QString other = fixture_->folder() + "/Other Library";
    fixture_->setRootDirectory(other.toStdString());
    for (const auto& [name, act] : actions) {
      act();
      QMessageBox* alert = sheetNamed(&controller_->mainWindow(), "otherLibraryAlert");
      QVERIFY2(alert, name);
      QVERIFY2(alert->informativeText().contains(other + ", not " + fixture_->folder()), name);
      alert->done(0);
    }
    QVERIFY(fixture_->scriptHost().texts().empty());
    QCOMPARE(controller_->duplicatesCount(), duplicates_);
  }

  void failedRevealIsShown() {
    fixture_->scriptHost().failWith(-600, "iPhoto isn't running.");
    controller_->revealItemsAtIndexes({0});
    QMessageBox* alert = sheetNamed(&controller_->mainWindow(), "revealErrorAlert");
    QVERIFY(alert);
    QCOMPARE(alert->text(), QString("Error selecting photo"));
    QCOMPARE(alert->informativeText(), QString("iPhoto isn't running."));
    QCOMPARE(buttonTexts(*alert), QStringList{"OK"});
  }

 private:
  std::vector<std::string> duplicateKeys() const {
    std::vector<std::string> keys;
    for (const auto& photo : controller_->cataloger().duplicatePhotos())
      keys.push_back(photo->iPhotoKey());
    return keys;
  }

  // Moves two photos, then cancels while the second one is being moved, which fails or not.
  void cancelAfterFailingMove(bool fail) {
    std::string second = removeLine(duplicateKeys()[1]);
    fixture_->scriptHost().answerWith([=, this](std::string_view source) {
      if (!contains(std::string(source), second))
        return ScriptOutcome::success(AppleEventDescriptor::null());
      controller_->scriptRunner().cancel();
      return fail ? ScriptOutcome::failure(-1728, "Can't get photo.")
                  : ScriptOutcome::success(AppleEventDescriptor::null());
    });
    controller_->moveToTrash();
  }

  QMessageBox* waitForSheet(const char* name) {
    QMessageBox* sheet = nullptr;
    (void)QTest::qWaitFor(
        [&] { return (sheet = sheetNamed(&controller_->mainWindow(), name)) != nullptr; }, 20000);
    return sheet;
  }

  std::unique_ptr<AppFixture> fixture_;
  AppController* controller_ = nullptr;
  std::size_t duplicates_ = 0;
};

}  // namespace twinlens

QTEST_MAIN(twinlens::ActingOnDuplicatesTest)
#include "acting_on_duplicates_test.moc"
