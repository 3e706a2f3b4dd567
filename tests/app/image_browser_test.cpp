#include <sys/stat.h>

#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <tuple>

#include "app/browser/image_browser_view.hpp"
#include "app/browser/thumbnail_loader.hpp"

namespace twinlens {

namespace {

// Items in groups of the given sizes; every third item's thumbnail file is missing.
class FakeSource : public ImageBrowserDataSource, public ImageBrowserDelegate {
 public:
  FakeSource(const QString& folder, std::vector<std::size_t> groupSizes) {
    std::size_t next = 0;
    for (std::size_t size : groupSizes) {
      groups.push_back(DuplicateGroup{next, size});
      for (std::size_t i = 0; i < size; ++i, ++next) {
        QString path = folder + QString("/thumb%1.jpg").arg(next);
        if (next % 3 != 2) {
          QImage image(40 + static_cast<int>(next % 20), 30, QImage::Format_RGB32);
          image.fill(QColor::fromHsv(static_cast<int>(next * 37 % 360), 200, 200));
          image.save(path, "JPEG");
        }
        items.emplace_back(std::to_string(next + 1), path.toStdString(),
                           "IMG_" + std::to_string(next), "Roll " + std::to_string(next / 4));
      }
    }
  }

  std::size_t numberOfItemsInImageBrowser(ImageBrowserView&) override { return items.size(); }
  const Thumbnail& imageBrowserItemAtIndex(ImageBrowserView&, std::size_t index) override {
    return items.at(index);
  }
  std::size_t numberOfGroupsInImageBrowser(ImageBrowserView&) override { return groups.size(); }
  ImageBrowserGroup imageBrowserGroupAtIndex(ImageBrowserView&, std::size_t index) override {
    return {0, Qt::lightGray, groups.at(index)};
  }
  IndexSet duplicatesIndexSet() override {
    IndexSet indexes;
    for (const DuplicateGroup& group : groups)
      for (std::size_t i = group.location + 1; i < group.location + group.length; ++i)
        indexes.push_back(i);
    return indexes;
  }
  void imageBrowserCellWasDoubleClickedAtIndex(ImageBrowserView&, std::size_t index) override {
    doubleClicked.push_back(index);
  }
  void deleteItemsAtIndexes(const IndexSet& indexes) override { deleted.push_back(indexes); }
  void revealItemsAtIndexes(const IndexSet& indexes) override { revealed.push_back(indexes); }
  void hideHelpBubble() override { ++hideCalls; }

  std::vector<Thumbnail> items;
  std::vector<DuplicateGroup> groups;
  std::vector<std::size_t> doubleClicked;
  std::vector<IndexSet> deleted;
  std::vector<IndexSet> revealed;
  int hideCalls = 0;
};

}  // namespace

class ImageBrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    source_ = std::make_unique<FakeSource>(dir_.path(), std::vector<std::size_t>{2, 3});
    browser_ = std::make_unique<ImageBrowserView>();
    browser_->resize(800, 600);
    browser_->setDataSource(source_.get());
    browser_->setDelegate(source_.get());
    browser_->show();
    QVERIFY(QTest::qWaitForWindowExposed(browser_.get()));
    browser_->reloadData();
  }
  void cleanup() {
    browser_.reset();
    source_.reset();
  }

  void groupsAreLaidOutKeptPhotoFirst() {
    QCOMPARE(browser_->itemCount(), 5u);
    QCOMPARE(browser_->groupCount(), 2u);
    QRect first = browser_->groupFrame(0);
    QRect second = browser_->groupFrame(1);
    QVERIFY(first.contains(browser_->itemFrame(0)) && first.contains(browser_->itemFrame(1)));
    for (std::size_t i = 2; i < 5; ++i) QVERIFY(second.contains(browser_->itemFrame(i)));
    QVERIFY(second.top() > first.bottom());
    QVERIFY(browser_->itemFrame(0).left() < browser_->itemFrame(1).left());
    QCOMPARE(browser_->indexOfItemAtPoint(browser_->itemFrame(3).center()), std::size_t{3});
    QVERIFY(!browser_->indexOfItemAtPoint(QPoint(first.right() + 40, first.center().y())));
    browser_->selectAll();
    QCOMPARE(browser_->selectionIndexes(), (IndexSet{1, 3, 4}));
  }

  void menuTagsFollowTheSelection() {
    QVERIFY(browser_->validateMenuItem(ImageBrowserView::kSelectAllTag));
    QVERIFY(!browser_->validateMenuItem(ImageBrowserView::kMoveToTrashTag));
    QVERIFY(!browser_->validateMenuItem(ImageBrowserView::kRevealTag));
    browser_->setSelectionIndexes({3});
    QVERIFY(browser_->validateMenuItem(ImageBrowserView::kMoveToTrashTag));
    QVERIFY(browser_->validateMenuItem(ImageBrowserView::kRevealTag));
    browser_->setSelectionIndexes({3, 4});
    QVERIFY(browser_->validateMenuItem(ImageBrowserView::kMoveToTrashTag));
    QVERIFY(!browser_->validateMenuItem(ImageBrowserView::kRevealTag));
    QVERIFY(!browser_->validateMenuItem(7));
    QAction item;
    item.setData(ImageBrowserView::kRevealTag);
    QVERIFY(!browser_->validateMenuItem(item));

    FakeSource empty(dir_.path(), {});
    browser_->setDataSource(&empty);
    browser_->reloadData();
    QVERIFY(!browser_->validateMenuItem(ImageBrowserView::kSelectAllTag));
    QCOMPARE(browser_->groupCount(), 0u);
  }

  // Each click, on an item or (at -1) beside them all, and the selection after it.
  void clicksSelect() {
    const std::tuple<Qt::KeyboardModifiers, int, IndexSet> clicks[] = {
        {{}, 1, {1}},
        {Qt::ShiftModifier, 3, {1, 2, 3}},
        {Qt::ControlModifier, 2, {1, 3}},
        {Qt::ControlModifier, 4, {1, 3, 4}},
        {{}, 3, {3}},
        {{}, -1, IndexSet{}}};
    for (const auto& [modifiers, index, selection] : clicks) {
      QPoint at = index < 0 ? QPoint(790, 590) : browser_->itemFrame(index).center();
      QTest::mouseClick(browser_->viewport(), Qt::LeftButton, modifiers, at);
      QVERIFY2(browser_->selectionIndexes() == selection, qPrintable(QString::number(index)));
    }
    QVERIFY(source_->hideCalls >= 6);
  }

  void rubberBandSelectsWhatItTouches() {
    QWidget* viewport = browser_->viewport();
    QRect second = browser_->groupFrame(1);
    QPoint start(second.right() + 20, second.top() - 4);
    QPoint end = browser_->itemFrame(3).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, end, viewport->mapToGlobal(end), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
    QCOMPARE(browser_->selectionIndexes(), (IndexSet{3, 4}));
  }

  void keysDeleteOrAreDroppedAndClicksTellTheDelegate() {
    browser_->setSelectionIndexes({2, 4});
    QTest::keyClick(browser_.get(), Qt::Key_Down);
    QTest::keyClick(browser_.get(), Qt::Key_A);
    QVERIFY(source_->deleted.empty());
    QCOMPARE(browser_->selectionIndexes(), (IndexSet{2, 4}));
    QTest::keyClick(browser_.get(), Qt::Key_Backspace);
    QCOMPARE(source_->deleted.size(), 1u);
    QCOMPARE(source_->deleted[0], (IndexSet{2, 4}));
    QCOMPARE(source_->hideCalls, 3);
    QTest::mouseDClick(browser_->viewport(), Qt::LeftButton, {}, browser_->itemFrame(4).center());
    QCOMPARE(source_->doubleClicked, std::vector<std::size_t>{4});
    browser_->setSelectionIndexes({0});
    browser_->revealSelectedItemsInIPhoto();
    QCOMPARE(source_->revealed.at(0), IndexSet{0});
  }

  void missingThumbnailsShowASelectablePlaceholder() {
    ThumbnailLoader& loader = browser_->thumbnailLoader();
    QString missing = QString::fromStdString(*source_->items[2].path());
    // A named pipe in the file's place is missing too, not a worker waiting for a writer.
    QCOMPARE(::mkfifo(missing.toLocal8Bit().constData(), 0600), 0);
    browser_->viewport()->repaint();
    QString present = QString::fromStdString(*source_->items[1].path());
    QTRY_VERIFY(loader.isMissing(missing) && loader.image(present));
    QVERIFY(!loader.image(missing));
    QCOMPARE(loader.image(present)->size(), QSize(41, 30));
    // The placeholder is a blank photo-shaped card across the cell's width.
    QImage cell = browser_->viewport()->grab(browser_->itemFrame(2)).toImage();
    int blank = 0;
    for (int y = 0; y < cell.height(); ++y)
      for (int x = 0; x < cell.width(); ++x)
        blank += cell.pixelColor(x, y) == browser_->palette().color(QPalette::Base);
    QVERIFY(blank > cell.width() * cell.width() / 3);
    QTest::mouseClick(browser_->viewport(), Qt::LeftButton, {}, browser_->itemFrame(2).center());
    QCOMPARE(browser_->selectionIndexes(), IndexSet{2});
  }

  void zoomAndLongCaptionsKeepToTheThumbnailAndShowWholeInTheTooltip() {
    browser_->setZoomValue(0);
    int small = browser_->itemFrame(0).width();
    browser_->setZoomValue(4);
    QCOMPARE(browser_->zoomValue(), 1.0f);
    QVERIFY(browser_->itemFrame(0).width() > small);
    std::string title(80, 'W'), subtitle = "Roll " + std::string(80, 'M');
    source_->items[3] = Thumbnail("4", source_->items[3].path(), title, subtitle);
    browser_->reloadData();
    for (float zoom : {0.0f, 0.5f, 1.0f}) {
      browser_->setZoomValue(zoom);
      QRect frame = browser_->itemFrame(3);
      QImage cell = browser_->viewport()->grab(frame).toImage();
      // The cell's padding beside the thumbnail stays bare down to its captions.
      for (int y = cell.height() / 2; y < cell.height(); ++y)
        for (int x : {0, 1, 2, 3, 4, 5, cell.width() - 6, cell.width() - 3, cell.width() - 1})
          QVERIFY2(cell.pixelColor(x, y) == QColor(Qt::lightGray),
                   qPrintable(QString("zoom %1 at %2,%3").arg(zoom).arg(x).arg(y)));
    }
    QPoint at = browser_->itemFrame(3).center();
    QHelpEvent help(QEvent::ToolTip, at, browser_->viewport()->mapToGlobal(at));
    QApplication::sendEvent(browser_->viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(),
             Qt::convertFromPlainText(QString::fromStdString(title + "\n" + subtitle)));
  }

  void manyItemsDecodeOnlyWhatIsInView() {
    FakeSource many(dir_.path(), std::vector<std::size_t>(2000, 3));
    browser_->setDataSource(&many);
    browser_->reloadData();
    QVERIFY(browser_->contentHeight() > 100 * browser_->viewport()->height());
    browser_->viewport()->repaint();
    ThumbnailLoader& loader = browser_->thumbnailLoader();
    int inView = 0;
    for (std::size_t i = 0; i < many.items.size(); ++i)
      inView += browser_->itemFrame(i).intersects(browser_->viewport()->rect());
    QVERIFY(inView > 0);
    QVERIFY(loader.waitingCount() <= inView);
    browser_->scrollToItem(5000);
    QVERIFY(browser_->itemFrame(5000).intersects(browser_->viewport()->rect()));
    browser_->setDataSource(source_.get());
    browser_->reloadData();
  }

 private:
  QTemporaryDir dir_;
  std::unique_ptr<FakeSource> source_;
  std::unique_ptr<ImageBrowserView> browser_;
};

}  // namespace twinlens

QTEST_MAIN(twinlens::ImageBrowserTest)
#include "image_browser_test.moc"
