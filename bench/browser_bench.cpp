// The duplicate browser with 20,000 items: the first paint after a scan (reload and paint, while
// the thumbnails in view are still decoding), the same until those thumbnails are shown, and one
// screenful painted while scrolling, against a widget that paints as many plain rectangles.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "app/browser/image_browser_view.hpp"
#include "app/browser/thumbnail_loader.hpp"
#include "ratio_reporter.hpp"
#include "shared/logging.hpp"

namespace {

using namespace twinlens;

constexpr std::size_t kItems = 20000;
constexpr std::size_t kFiles = 2000;

// Groups of 2 to 4 items; item i shows thumbnail file i % kFiles, each 160 x 120.
class Source : public ImageBrowserDataSource, public ImageBrowserDelegate {
 public:
  explicit Source(const QString& folder) {
    for (std::size_t f = 0; f < kFiles; ++f) {
      QImage image(160, 120, QImage::Format_RGB32);
      image.fill(QColor::fromHsv(static_cast<int>(f * 37 % 360), 160, 220));
      QPainter(&image).fillRect(20, 30, 60, 40, Qt::darkGreen);
      image.save(folder + QString("/%1.jpg").arg(f), "JPEG", 85);
    }
    for (std::size_t i = 0; i < kItems;) {
      std::size_t length = std::min<std::size_t>(2 + i % 3, kItems - i);
      groups.push_back(DuplicateGroup{i, length});
      for (std::size_t k = 0; k < length; ++k, ++i)
        items.emplace_back(std::to_string(i + 1),
                           (folder + QString("/%1.jpg").arg(i % kFiles)).toStdString(),
                           "IMG_" + std::to_string(i), "Roll " + std::to_string(i / 50));
    }
  }
  std::size_t numberOfItemsInImageBrowser(ImageBrowserView&) override { return items.size(); }
  const Thumbnail& imageBrowserItemAtIndex(ImageBrowserView&, std::size_t i) override {
    return items[i];
  }
  std::size_t numberOfGroupsInImageBrowser(ImageBrowserView&) override { return groups.size(); }
  ImageBrowserGroup imageBrowserGroupAtIndex(ImageBrowserView&, std::size_t i) override {
    return {0, QColor(0xdc, 0xdc, 0xdc), groups[i]};
  }
  IndexSet duplicatesIndexSet() override { return {}; }
  void imageBrowserCellWasDoubleClickedAtIndex(ImageBrowserView&, std::size_t) override {}
  void deleteItemsAtIndexes(const IndexSet&) override {}
  void revealItemsAtIndexes(const IndexSet&) override {}
  void hideHelpBubble() override {}

  std::vector<Thumbnail> items;
  std::vector<DuplicateGroup> groups;
};

// As many rectangles as the browser shows items in one screenful.
class Rectangles : public QWidget {
 public:
  int count = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < count; ++i) {
      QRect cell((i % 8) * 110 + 10, (i / 8) * 120 + 10, 96, 72);
      painter.fillRect(cell, QColor::fromHsv(i * 37 % 360, 160, 220));
    }
  }
};

struct Fixture {
  QTemporaryDir dir;
  Source source{dir.path()};
  ImageBrowserView browser;
  Rectangles rectangles;
  int itemsPerScreen = 0;

  Fixture() {
    browser.resize(1000, 700);
    browser.setDataSource(&source);
    browser.setDelegate(&source);
    browser.show();
    rectangles.resize(1000, 700);
    rectangles.show();
    // Painting is skipped until the windows are exposed.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    browser.reloadData();
    for (std::size_t i = 0; i < kItems; ++i)
      itemsPerScreen += browser.itemFrame(i).intersects(browser.viewport()->rect());
    rectangles.count = itemsPerScreen;
  }

  // Repaints until every thumbnail in view is decoded and shown.
  void settle() {
    ThumbnailLoader& loader = browser.thumbnailLoader();
    do {
      browser.viewport()->repaint();
      loader.waitForIdle();
      QCoreApplication::processEvents();
    } while (loader.waitingCount() > 0);
    browser.viewport()->repaint();
  }
};

// Made in main after the QApplication and destroyed before it: widgets must not outlive it.
std::unique_ptr<Fixture> fixtureInstance;

Fixture& fixture() {
  return *fixtureInstance;
}

void BM_FirstPaintAfterScan(benchmark::State& state) {
  Fixture& data = fixture();
  for (auto _ : state) {
    data.browser.reloadData();
    data.browser.viewport()->repaint();
  }
  data.settle();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kItems);
}

void BM_FirstScreenWithThumbnails(benchmark::State& state) {
  Fixture& data = fixture();
  for (auto _ : state) {
    data.browser.reloadData();
    data.settle();
  }
}

void BM_ScrollOneScreenful(benchmark::State& state) {
  Fixture& data = fixture();
  QScrollBar* bar = data.browser.verticalScrollBar();
  bar->setValue(0);
  data.settle();
  int step = data.browser.viewport()->height();
  for (auto _ : state) {
    int next = bar->value() + step;
    bar->setValue(next > bar->maximum() ? 0 : next);
    data.browser.viewport()->repaint();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * data.itemsPerScreen);
}

void BM_PlainRectangles(benchmark::State& state) {
  Fixture& data = fixture();
  for (auto _ : state) data.rectangles.repaint();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * data.itemsPerScreen);
}

BENCHMARK(BM_FirstPaintAfterScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstScreenWithThumbnails)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollOneScreenful)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainRectangles)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  setLogSink([](std::string_view) {});
  fixtureInstance = std::make_unique<Fixture>();
  Fixture& data = fixture();
  std::printf("browser: %zu items in %zu groups, %d in one screenful of 1000 x 700\n", kItems,
              data.source.groups.size(), data.itemsPerScreen);
  int status = bench::runWithRatios(argc, argv,
                                    {{"BM_ScrollOneScreenful", "BM_PlainRectangles",
                                      "scroll one screenful / as many plain rectangles"}});
  fixtureInstance.reset();
  return status;
}
