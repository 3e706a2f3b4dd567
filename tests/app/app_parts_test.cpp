#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMessageBox>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>
#include <tuple>

#include "app/browser/count_text.hpp"
#include "app/browser/thumbnail_placeholder.hpp"
#include "app/help_bubble.hpp"
#include "app/qt_main_thread.hpp"
#include "app/sheets/activity_indicator.hpp"
#include "app/sheets/alert_style.hpp"
#include "app/sheets/script_runner_sheet.hpp"
#include "app/update/appcast.hpp"
#include "app/update/software_updater.hpp"

namespace twinlens {

namespace {

QByteArray feedOffering(const QStringList& versions) {
  QByteArray feed =
      "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
      "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n<channel>\n";
  for (const QString& version : versions)
    feed += "<item><title>Version " + version.toUtf8() +
            "</title><enclosure url=\"https://example.org/t.zip\" sparkle:version=\"" +
            version.toUtf8() + "\" length=\"1\"/></item>\n";
  return feed + "</channel>\n</rss>\n";
}

}  // namespace

class AppPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void mainThreadRunsHandedOverWorkInTheLoop() {
    QtMainThread mainThread;
    QVERIFY(mainThread.isMainThread());
    bool ranHere = false;
    QVERIFY(mainThread.performAndWait([&] { ranHere = true; }));
    QVERIFY(ranHere);

    std::atomic<bool> workerDone{false};
    bool onMain = false;
    bool accepted = false;
    std::thread worker([&] {
      accepted = mainThread.performAndWait([&] { onMain = mainThread.isMainThread(); });
      workerDone = true;
    });
    QTRY_VERIFY(workerDone.load());
    worker.join();
    QVERIFY(accepted && onMain);

    int posted = 0;
    mainThread.post([&] { ++posted; });
    QCOMPARE(posted, 0);
    QTRY_COMPARE(posted, 1);

    // Once shut down it refuses work from any thread.
    mainThread.shutDown();
    bool ran = false;
    accepted = true;
    std::thread([&] { accepted = mainThread.performAndWait([&] { ran = true; }); }).join();
    QVERIFY(!accepted && !ran);
    QVERIFY(!mainThread.performAndWait([&] { ran = true; }));
    mainThread.post([&] { ran = true; });
    QCoreApplication::processEvents();
    QVERIFY(!ran);
  }

  void mainThreadReleasesAWaitingWorkerWhenDestroyed() {
    auto mainThread = std::make_unique<QtMainThread>();
    QtMainThread* handle = mainThread.get();
    bool accepted = true;
    bool ran = false;
    std::thread worker(
        [&accepted, &ran, handle] { accepted = handle->performAndWait([&ran] { ran = true; }); });
    // Once the worker is inside, whether or not it has queued its call yet, it is released
    // without the work.
    while (handle->workersWaiting() == 0) std::this_thread::yield();
    mainThread.reset();
    worker.join();
    QVERIFY(!accepted);
    QVERIFY(!ran);
  }

  void countsAreGroupedByTheLocale() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(groupedCount(1234), std::string("1,234"));
    QCOMPARE(groupedCount(999), std::string("999"));
    QCOMPARE(groupedCount(1234567), std::string("1,234,567"));
    QCOMPARE(groupedCount((std::uint64_t{1} << 32) + 5), std::string("5"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(groupedCount(1234), std::string("1.234"));
    QLocale::setDefault(QLocale::c());
    QCOMPARE(std::string(pluralSuffix(1)), std::string(""));
    QCOMPARE(std::string(pluralSuffix(0)), std::string("s"));
  }

  void appcastGivesTheNewestItem() {
    ErrorRecord error;
    std::optional<AppcastItem> newest =
        Appcast::newestItem(feedOffering({"0.9", "1.10", "1.9.3"}), &error);
    QVERIFY(newest);
    QCOMPARE(newest->version, QString("1.10"));
    QCOMPARE(newest->title, QString("Version 1.10"));
    QCOMPARE(newest->downloadURL, QString("https://example.org/t.zip"));
    QVERIFY(Appcast::compareVersions("1.2", "1.2.0") == 0);
    QVERIFY(Appcast::compareVersions("1.2b", "1.2a") > 0);
    QVERIFY(Appcast::compareVersions("0.1.0", "0.1.1") < 0);
  }

  void badFeedsFailWithARecord() {
    ErrorRecord error;
    QVERIFY(!Appcast::newestItem("<rss><channel><item>", &error));
    QCOMPARE(QString::fromStdString(error.domain()), QString("AppcastErrorDomain"));
    QVERIFY(!Appcast::newestItem(feedOffering({}), &error));
    QCOMPARE(error.code(), 3);
    QVERIFY(!Appcast::newestItem(QByteArray(Appcast::kMaxFeedBytes + 1, ' '), &error));
    QCOMPARE(error.code(), 1);
  }

  // A newer version is offered in an alert; the same one is up to date; no feed is a failure.
  void updaterSaysWhetherANewerVersionExists() {
    QTemporaryDir dir;
    QFile feed(dir.filePath("appcast.xml"));
    QVERIFY(feed.open(QIODevice::WriteOnly) && feed.write(feedOffering({"0.1.0", "0.2.0"})) > 0);
    feed.close();
    using Outcome = SoftwareUpdater::Outcome;
    const std::tuple<QString, QString, Outcome> cases[] = {
        {feed.fileName(), "0.1.0", Outcome::NewerVersion},
        {feed.fileName(), "0.2.0", Outcome::UpToDate},
        {"/nonexistent/twinlens/appcast.xml", "0.1.0", Outcome::Failed}};
    for (const auto& [path, version, outcome] : cases) {
      QWidget window;
      SoftwareUpdater updater(&window, QUrl::fromLocalFile(path), version);
      QSignalSpy spy(&updater, &SoftwareUpdater::checkFinished);
      updater.checkForUpdates();
      QVERIFY(spy.wait(10000));
      QCOMPARE(spy.at(0).at(0).value<Outcome>(), outcome);
      if (outcome != Outcome::NewerVersion) continue;
      QCOMPARE(spy.at(0).at(1).toString(), QString("0.2.0"));
      auto* alert = window.findChild<QMessageBox*>("updateAlert");
      QVERIFY(alert && alert->text() == "A new version is available!");
    }
  }

  void helpBubblePointsAtItsPoint() {
    QWidget window;
    window.resize(600, 400);
    auto* content = new QLabel("Hello");
    auto* bubble = new HelpBubble(content, &window, QPoint(10, 200));
    window.show();
    bubble->showAndBounce();
    QVERIFY(bubble->isBouncing());
    QTRY_VERIFY_WITH_TIMEOUT(!bubble->isBouncing(), 5000);
    // The arrow's tip touches the point; the body lies to its right and holds the content.
    QPointF tip = bubble->mapToParent(QPoint(1, bubble->height() / 2));
    QVERIFY(qAbs(tip.x() - 10) <= 2 && qAbs(tip.y() - 200) <= 2);
    QVERIFY(bubble->outline().contains(QPointF(bubble->width() / 2.0, bubble->height() / 2.0)));
    QVERIFY(content->geometry().left() >= bubble->style().arrowHeight);
    QVERIFY(!bubble->outline().contains(QPointF(1, 1)));
  }

  void alertsWithoutIconHaveNoIndent() {
    QMessageBox info;
    info.setText("No duplicates found");
    setAlertKind(info, AlertKind::Information);
    info.setInformativeText("Set after the kind.");
    info.show();
    QCOMPARE(info.icon(), QMessageBox::NoIcon);
    QCOMPARE(info.findChild<QLabel*>("qt_msgbox_label")->x(),
             info.layout()->contentsMargins().left());
  }

  void placeholdersNameThePhotosFileType() {
    const std::pair<std::optional<std::string>, QString> cases[] = {
        {"/a/IMG_1.JPG", "JPEG"}, {"/a/b.jpeg", "JPEG"}, {"/a/scan.tif", "TIFF"},
        {"/a/x.CR2", "CR2"},      {"/a.b/noext", ""},    {std::nullopt, ""}};
    for (const auto& [path, type] : cases) QCOMPARE(photoFileType(path), type);
  }

  void runnerSheetShowsTheRunnersState() {
    QWidget window;
    QtMainThread mainThread;
    auto runner = std::make_shared<ScriptRunner>(mainThread);
    ScriptRunnerSheet sheet(&window, runner);
    runner->setChangeCallback([&](std::string_view p) { sheet.runnerDidChange(p); });
    runner->setWarning("Do not manipulate iPhoto while moving is in progress");
    runner->setCancelable(false);
    window.show();
    sheet.showScriptRunnerSheet();
    QVERIFY(sheet.isVisible() && sheet.windowModality() == Qt::WindowModal);
    QVERIFY(sheet.activityIndicator()->isAnimating());
    QVERIFY(sheet.warningLabel()->isVisible());
    QVERIFY(!sheet.cancelButton()->isEnabled());
    runner->setCancelable(true);
    QVERIFY(sheet.cancelButton()->isEnabled());
    runner->setHideWarning(true);
    QVERIFY(!sheet.warningLabel()->isVisible());
    sheet.endScriptRunnerSheet();
    QVERIFY(!sheet.isVisible());
    QVERIFY(!sheet.activityIndicator()->isAnimating());
  }
};

}  // namespace twinlens

QTEST_MAIN(twinlens::AppPartsTest)
#include "app_parts_test.moc"
