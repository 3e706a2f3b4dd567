#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
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
using testing::buttonWithText;
using testing::describe;
using testing::sheetNamed;

namespace {

constexpr const char* kSelectLibrary = "select photo library album";

std::string removeLine(const std::string& key) {
  return "remove photo id " + std::to_string(*scriptIdentifierForPhotoKey(key));
}

std::string selectLine(const std::string& key) {
  return "select photo id " + std::to_string(*scriptIdentifierForPhotoKey(key));
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

ScriptOutcome succeeded() {
  return ScriptOutcome::success(AppleEventDescriptor::null());
}

// How a run of moves to the iPhoto Trash goes wrong.
constexpr int kTwoMovesFail = 0, kClosingSelectionFails = 1, kCancelDuringFailingMove = 2,
              kCancelDuringMove = 3;

}  // namespace

class ActingOnDuplicatesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fixture_ = std::make_unique<AppFixture>();
    QVERIFY(fixture_->scanLibrary(testing::smallLibrary()));
    controller_ = &fixture_->controller();
    duplicates_ = controller_->cataloger().duplicatePhotos().size();
    QVERIFY(duplicates_ >= 3);
  }
  void cleanup() { fixture_.reset(); }

  void wholeLibraryMoveRunsEveryCommandAndQuits() {
    controller_->moveToTrash();
    ScriptRunner& runner = controller_->scriptRunner();
    QCOMPARE(runner.scripts().size(), duplicates_ + 2);
    QVERIFY(runner.cancelable());
    QCOMPARE(runner.message(),
             "Moving " + std::to_string(duplicates_) + " items to Trash in Sample Library");
    QCOMPARE(runner.warning(), std::string("Do not manipulate iPhoto while moving is in progress"));

    ScriptRunnerSheet& sheet = controller_->scriptRunnerSheet();
    QCOMPARE(sheet.messageLabel()->text(), QString::fromStdString(runner.message()));
    QVERIFY(!sheet.warningLabel()->isHidden());

    QMessageBox* done = waitForSheet("moveToTrashCompleteWindow");
    QVERIFY(done && !sheet.isVisible());
    QCOMPARE(describe(done),
             QString("Moved %1 photos to the iPhoto Trash.|Empty the iPhoto Trash in iPhoto to "
                     "delete them for good. Twinlens will now quit.|Quit|Quit|")
                 .arg(duplicates_));
    std::size_t removes = 0;
    for (const std::string& text : fixture_->scriptHost().texts())
      removes += contains(text, "remove photo id");
    QCOMPARE(removes, duplicates_);
    QCOMPARE(fixture_->quitCount, 0);
    buttonWithText(*done, "Quit")->click();
    QCOMPARE(fixture_->quitCount, 1);
  }

  // Failed moves are counted (a failed closing selection counts none); a run cancelled from the
  // sheet says how far it got; Rescan starts over, Quit quits.
  void runThatWentWrongSaysHow_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("answer");
    const QString failed =
        "Failed to move some photos|%2 photos could not be moved to the "
        "iPhoto Trash.|Quit,Rescan|Quit|warning";
    const QString cancelled =
        "Moving to the iPhoto Trash was cancelled|1 photo was moved to the "
        "iPhoto Trash before you cancelled; 1 could not be moved. Rescan to "
        "see what is left.|Quit,Rescan|Rescan|";
    QTest::newRow("two moves fail")
        << kTwoMovesFail << "moveToTrashErrorAlert" << failed.arg(2) << "Rescan";
    QTest::newRow("closing selection fails")
        << kClosingSelectionFails << "moveToTrashErrorAlert" << failed.arg(0) << "Quit";
    QTest::newRow("cancel, then quit")
        << kCancelDuringFailingMove << "canceledWindow" << cancelled << "Quit";
    QTest::newRow("cancel, then rescan")
        << kCancelDuringFailingMove << "canceledWindow" << cancelled << "Rescan";
    QTest::newRow("cancel without failure")
        << kCancelDuringMove << "moveToTrashCompleteWindow"
        << "Moved 2 of %1 photos to the iPhoto Trash before you cancelled.|Empty the iPhoto Trash "
           "in iPhoto to delete them for good. Twinlens will now quit.|Quit|Quit|"
        << "Quit";
  }
  void runThatWentWrongSaysHow() {
    QFETCH(int, fault);
    std::vector<std::string> keys = duplicateKeys();
    std::string first = removeLine(keys[0]);
    std::string second = removeLine(keys[1]);
    int selections = 0;
    fixture_->scriptHost().answerWith([&, fault](std::string_view source) {
      std::string text(source);
      switch (fault) {
        case kTwoMovesFail:
          if (contains(text, first) || contains(text, second)) break;
          return succeeded();
        case kClosingSelectionFails:
          if (contains(text, kSelectLibrary) && ++selections == 2)
            return ScriptOutcome::failure(-600, "iPhoto got an error: Application isn't running.");
          return succeeded();
        default:
          if (!contains(text, second)) return succeeded();
          controller_->scriptRunnerSheet().cancelButton()->click();
          if (fault == kCancelDuringMove) return succeeded();
      }
      return ScriptOutcome::failure(-1728, "Can't get photo.");
    });
    controller_->moveToTrash();
    QFETCH(QString, sheet);
    QFETCH(QString, alert);
    QMessageBox* box = waitForSheet(sheet.toUtf8().constData());
    QCOMPARE(describe(box), alert.contains("%1") ? alert.arg(duplicates_) : alert);
    fixture_->scriptHost().answerWith(nullptr);
    QFETCH(QString, answer);
    buttonWithText(*box, answer)->click();
    if (answer == "Rescan") QVERIFY(fixture_->waitForScan());
    QCOMPARE(fixture_->quitCount, answer == "Quit" ? 1 : 0);
  }

  void deleteKeyMovesTheSelectionInOneCommand() {
    ImageBrowserView& browser = controller_->imageBrowser();
    QTest::keyClick(&browser, Qt::Key_Backspace);
    std::vector<std::string> texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 2u);
    QVERIFY(!contains(texts[1], "remove photo id"));
    QCOMPARE(controller_->duplicatesCount(), duplicates_);

    IndexSet chosen = controller_->duplicatesIndexSet();
    chosen.resize(3);
    std::vector<std::string> keys;
    for (std::size_t i : chosen)
      keys.push_back(controller_->cataloger().thumbnails()[i].iPhotoKey());
    browser.setSelectionIndexes(chosen);
    std::size_t items = browser.itemCount();
    QTest::keyClick(&browser, Qt::Key_Backspace);
    texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 4u);
    QVERIFY(contains(texts[2], kSelectLibrary));
    for (const std::string& key : keys) QVERIFY(contains(texts[3], removeLine(key)));
    QCOMPARE(controller_->duplicatesCount(), duplicates_ - 3);
    QVERIFY(browser.itemCount() < items && browser.selectionIndexes().empty());
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

  // A double click reveals that photo; revealing a selection, its lowest index.
  void revealSelectsThePhotoInIPhoto() {
    ImageBrowserView& browser = controller_->imageBrowser();
    controller_->mainWindow().show();
    QVERIFY(QTest::qWaitForWindowExposed(&controller_->mainWindow()));
    QTest::mouseDClick(browser.viewport(), Qt::LeftButton, {}, browser.itemFrame(2).center());
    controller_->revealItemsAtIndexes({4, 1, 3});
    std::vector<std::string> texts = fixture_->scriptHost().texts();
    QCOMPARE(texts.size(), 2u);
    const std::vector<Thumbnail>& thumbnails = controller_->cataloger().thumbnails();
    QVERIFY(contains(texts[0], selectLine(thumbnails[2].iPhotoKey())));
    QVERIFY(contains(texts[1], selectLine(thumbnails[1].iPhotoKey())));
  }

  // A failed move of the selection is shown and the window updated anyway; so is a failed
  // reveal.
  void failedSelectionMoveAndRevealAreShown() {
    fixture_->scriptHost().failWith(-600, "iPhoto isn't running.");
    ImageBrowserView& browser = controller_->imageBrowser();
    browser.setSelectionIndexes({controller_->duplicatesIndexSet().front()});
    QTest::keyClick(&browser, Qt::Key_Delete);
    QMessageBox* alert = sheetNamed(&controller_->mainWindow(), "moveSelectionErrorAlert");
    QVERIFY(alert && alert->text().contains("failed to move photos to trash via AppleScript"));
    QCOMPARE(controller_->duplicatesCount(), duplicates_ - 1);
    alert->done(0);
    controller_->revealItemsAtIndexes({0});
    QCOMPARE(describe(sheetNamed(&controller_->mainWindow(), "revealErrorAlert")),
             QString("Error selecting photo|iPhoto isn't running.|OK||warning"));
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

 private:
  std::vector<std::string> duplicateKeys() const {
    std::vector<std::string> keys;
    for (const auto& photo : controller_->cataloger().duplicatePhotos())
      keys.push_back(photo->iPhotoKey());
    return keys;
  }

  QMessageBox* waitForSheet(const char* name) {
    return testing::waitForSheet(&controller_->mainWindow(), name);
  }

  std::unique_ptr<AppFixture> fixture_;
  AppController* controller_ = nullptr;
  std::size_t duplicates_ = 0;
};

}  // namespace twinlens

QTEST_MAIN(twinlens::ActingOnDuplicatesTest)
#include "acting_on_duplicates_test.moc"
