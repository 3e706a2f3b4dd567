// twinlens-screenshot: renders the application's window into PNG files without a desktop (run it
// on the offscreen platform), and paints viewable thumbnails into a sample library.
//
//   twinlens-screenshot --paint-thumbnails LIBRARY   gives each photo of a library made by
//       make-sample-library (default options) a thumbnail showing its picture, since the
//       sample's JPEG files carry made-up image data that no decoder can show
//   twinlens-screenshot LIBRARY OUTDIR               scans LIBRARY and writes main-window.png,
//       cataloging-sheet.png, script-runner-sheet.png and feedback-window.png into OUTDIR
//   twinlens-screenshot --rough LIBRARY OUTDIR       gives LIBRARY's first duplicates long
//       captions and takes one thumbnail away, scans it and writes smallest-zoom.png into OUTDIR
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSlider>
#include <QTest>
#include <cstdio>

#include "app/app_controller.hpp"
#include "app/browser/thumbnail_loader.hpp"
#include "app/main_window.hpp"
#include "app/qt_main_thread.hpp"
#include "app/sheets/activity_indicator.hpp"
#include "app/sheets/cataloging_sheet.hpp"
#include "app/sheets/script_runner_sheet.hpp"
#include "catalog/defaults.hpp"
#include "platform/socket_script_host.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "shared/twinlens_app.hpp"

#if TWINLENS_HAVE_FEEDBACK
#include "app/feedback/qv_feedback_controller.hpp"
#endif

namespace {

using namespace twinlens;

// A small landscape whose colours and shapes follow from the picture number.
QImage paintPicture(std::uint32_t picture) {
  QImage image(160, 120, QImage::Format_RGB32);
  QRandomGenerator random(picture * 2654435761u + 7);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  int hue = static_cast<int>(random.bounded(360));
  QLinearGradient sky(0, 0, 0, 120);
  sky.setColorAt(0, QColor::fromHsv(hue, 90, 250));
  sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 140, 210));
  painter.fillRect(image.rect(), sky);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromHsv((hue + 180) % 360, 60, 255));
  painter.drawEllipse(QPointF(30 + random.bounded(100), 25 + random.bounded(20)), 12, 12);
  for (int layer = 0; layer < 3; ++layer) {
    QPainterPath hills;
    hills.moveTo(0, 120);
    int base = 60 + layer * 18;
    for (int x = 0; x <= 160; x += 20) hills.lineTo(x, base - static_cast<int>(random.bounded(25)));
    hills.lineTo(160, 120);
    hills.closeSubpath();
    painter.setBrush(
        QColor::fromHsv((hue + 90 + layer * 25) % 360, 120 + layer * 30, 170 - layer * 40));
    painter.drawPath(hills);
  }
  return image;
}

int paintThumbnails(const std::string& library) {
  sample::SampleLibrary plan(library);
  int written = 0;
  for (const sample::SamplePhoto& photo : plan.photos()) {
    QImage image = paintPicture(photo.modifiedPicture.value_or(photo.originalPicture));
    written += image.save(QString::fromStdString(photo.thumbPath), "JPEG", 90);
  }
  std::printf("painted %d thumbnails\n", written);
  return written > 0 ? 0 : 1;
}

// The window with a sheet laid over its top edge, the way a sheet drops from the title bar.
QImage windowWithSheet(QWidget& window, QWidget& sheet) {
  QImage image = window.grab().toImage();
  QPainter painter(&image);
  painter.fillRect(image.rect(), QColor(0, 0, 0, 40));
  sheet.adjustSize();
  QImage drawn = sheet.grab().toImage();
  QPoint at((image.width() - drawn.width()) / 2, 0);
  if (auto* main = qobject_cast<QMainWindow*>(&window); main && main->menuWidget())
    at.setY(main->menuWidget()->height());
  painter.fillRect(QRect(at + QPoint(3, 4), drawn.size()), QColor(0, 0, 0, 60));
  painter.drawImage(at, drawn);
  painter.setPen(QColor(150, 150, 150));
  painter.drawRect(QRect(at, drawn.size()).adjusted(0, 0, -1, -1));
  return image;
}

#if TWINLENS_HAVE_FEEDBACK
// A machine that reaches the feedback server and has a made-up card of its user.
class PictureFeedbackPlatform : public FeedbackPlatform {
 public:
  void checkReachability(const QString&, std::function<void(bool)> done) override { done(true); }
  std::optional<OwnCard> ownCard() override { return OwnCard{"Pat Example", {"pat@example.org"}}; }
  QString machineProfile() override { return {}; }
};

bool renderFeedbackWindow(const QString& outDir) {
  QvFeedbackController::showFeedbackWithBugDetails(std::nullopt,
                                                   std::make_shared<PictureFeedbackPlatform>());
  auto shown = [] {
    QvFeedbackController* feedback = QvFeedbackController::current();
    return feedback && feedback->feedbackWindow()->isVisible();
  };
  return QTest::qWaitFor(shown, 10000) &&
         QvFeedbackController::current()->feedbackWindow()->grab().save(outDir +
                                                                        "/feedback-window.png");
}
#else
bool renderFeedbackWindow(const QString&) {
  return true;
}
#endif

bool settle(MainWindow& window) {
  ThumbnailLoader& loader = window.imageBrowser()->thumbnailLoader();
  for (int round = 0; round < 50; ++round) {
    window.imageBrowser()->viewport()->repaint();
    loader.waitForIdle();
    QCoreApplication::processEvents();
    if (loader.waitingCount() == 0) return true;
  }
  return false;
}

// Long captions (with text in other scripts) for the photos of the first duplicate sets, a long
// event name, and one duplicate without its thumbnail: what real libraries hold.
bool roughenLibrary(const std::string& library) {
  static const char* const kCaptions[] = {
      "Tom & Jerry at the lake house, summer <3",
      "Grandma's 80th birthday — all of us at Café Zürich",
      "東京タワーの夜景、家族みんなで",
      "IMG_20190817_183045_HDR_edited_final_v2",
      "서울 야경 🌃 with the whole family",
  };
  sample::SampleLibrary plan(library);
  QFile file(QString::fromStdString(plan.albumDataPath()));
  if (!file.open(QIODevice::ReadOnly)) return false;
  QString xml = QString::fromUtf8(file.readAll());
  file.close();
  std::size_t next = 0;
  std::vector<std::vector<std::string>> sets = plan.expectedDuplicateSets();
  for (std::size_t set = 0; set < std::min<std::size_t>(3, sets.size()); ++set)
    for (const std::string& key : sets[set]) {
      QString caption = QString::fromStdString(plan.photoForKey(key)->caption);
      QString longer = QString::fromUtf8(kCaptions[next++ % std::size(kCaptions)]);
      xml.replace(">" + caption + "</string>", ">" + longer.toHtmlEscaped() + "</string>");
    }
  if (!plan.rolls().empty())
    xml.replace(">" + QString::fromStdString(plan.rolls().front().name) + "</string>",
                ">Summer holidays in the mountains and by the sea</string>");
  bool ok = sets.empty() || sets[0].size() < 2 ||
            QFile::remove(QString::fromStdString(plan.photoForKey(sets[0][1])->thumbPath));
  return ok && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(xml.toUtf8()) > 0;
}

int render(const std::string& library, const QString& outDir, bool rough = false) {
  QDir().mkpath(outDir);
  QtMainThread mainThread;
  std::string folder = QDir::tempPath().toStdString() + "/twinlens-screenshot-defaults";
  auto applicationDefaults = std::make_shared<UserDefaults>(
      TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens"), folder);
  applicationDefaults->setBoolean(false, "helpBubbleShown");
  auto iPhoto = std::make_shared<UserDefaults>(kIPhotoDefaultsDomain, folder);
  iPhoto->setString(library, kIPhotoRootDirectoryKey);
  AppController::Environment environment;
  environment.isIPhotoRunning = [] { return false; };
  bool scanned = false;
  AppController controller(mainThread, std::make_shared<Defaults>(applicationDefaults, iPhoto),
                           applicationDefaults, environment);
  QObject::connect(&controller, &AppController::duplicatesCountDescriptionChanged,
                   [&] { scanned = true; });
  MainWindow& window = controller.mainWindow();
  window.resize(980, 680);
  window.show();
  controller.startUp();
  if (!QTest::qWaitFor([&] { return scanned; }, 120000)) {
    std::fprintf(stderr, "twinlens-screenshot: the scan did not finish\n");
    return 1;
  }
  settle(window);
  if (rough) {
    controller.hideHelpBubble();
    window.resize(720, 520);
    window.zoomSlider()->setValue(window.zoomSlider()->minimum());
    settle(window);
    return window.grab().save(outDir + "/smallest-zoom.png") ? 0 : 1;
  }
  bool ok = window.grab().save(outDir + "/main-window.png");

  CatalogingSheet& cataloging = controller.catalogingSheet();
  cataloging.headline()->setText(
      QString("Cataloging photos in %1").arg(controller.iPhotoLibraryName()));
  cataloging.progressBar()->setValue(420);
  cataloging.progressDescription()->setText("13 of 31 items");
  cataloging.activityIndicator()->startAnimation();
  ok &= windowWithSheet(window, cataloging).save(outDir + "/cataloging-sheet.png");

  ScriptRunner& runner = controller.scriptRunner();
  runner.setMessage(QString("Moving %1 to Trash in %2")
                        .arg(controller.duplicatesCountDescription().replace("duplicate", "item"),
                             controller.iPhotoLibraryName())
                        .toStdString());
  runner.setWarning("Do not manipulate iPhoto while moving is in progress");
  runner.setHideWarning(false);
  runner.setCancelable(true);
  ScriptRunnerSheet& running = controller.scriptRunnerSheet();
  running.runnerDidChange("message");
  running.progressBar()->setValue(360);
  running.activityIndicator()->startAnimation();
  ok &= windowWithSheet(window, running).save(outDir + "/script-runner-sheet.png");
  ok &= renderFeedbackWindow(outDir);
  std::printf("wrote %s/{main-window,cataloging-sheet,script-runner-sheet,feedback-window}.png\n",
              outDir.toUtf8().constData());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  twinlens::ScriptHost::setStandard(std::make_shared<twinlens::SocketScriptHost>());
  QStringList args = QApplication::arguments();
  if (args.size() == 3 && args[1] == "--paint-thumbnails")
    return paintThumbnails(args[2].toStdString());
  if (args.size() == 3) return render(args[1].toStdString(), args[2]);
  if (args.size() == 4 && args[1] == "--rough") {
    if (roughenLibrary(args[2].toStdString())) return render(args[2].toStdString(), args[3], true);
    std::fprintf(stderr, "twinlens-screenshot: could not roughen %s\n", qPrintable(args[2]));
    return 1;
  }
  std::fprintf(stderr,
               "usage: twinlens-screenshot --paint-thumbnails LIBRARY\n"
               "       twinlens-screenshot LIBRARY OUTDIR\n"
               "       twinlens-screenshot --rough LIBRARY OUTDIR\n");
  return 2;
}
