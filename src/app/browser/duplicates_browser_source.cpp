#include "app/browser/duplicates_browser_source.hpp"

#include <QDateTime>
#include <QImageReader>
#include <QLocale>
#include <QStringList>

#include "catalog/match_reason.hpp"

namespace twinlens {

namespace {

const QColor kGroupBackground(0xdc, 0xdc, 0xdc);

QString reasonText(const MatchReason& reason, bool kept) {
  if (kept) return QObject::tr("kept photo");
  return reason.sameFile ? QObject::tr("same file") : QObject::tr("same picture, other metadata");
}

QString photoDetails(const Photo& photo, const MatchReason& reason, bool kept) {
  bool original = reason.byOriginal || !photo.modifiedPath();
  QString path = QString::fromStdString(
      (original ? photo.originalPath() : photo.modifiedPath()).value_or(std::string()));
  QLocale locale;
  QStringList facts{locale.formattedDataSize(static_cast<qint64>(
                        original ? photo.originalFileSize() : photo.modifiedFileSize())),
                    locale.toString(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(
                                        photo.dateTaken().timeIntervalSince1970() * 1000)),
                                    QLocale::ShortFormat)};
  QSize size = QImageReader(path).size();
  if (size.isValid()) facts.push_back(QString("%1 \u00d7 %2").arg(size.width()).arg(size.height()));
  return path + "\n" + facts.join(", ") + "\n" + reasonText(reason, kept);
}

}  // namespace

std::size_t DuplicatesBrowserSource::numberOfItemsInImageBrowser(ImageBrowserView&) {
  return scanning_() ? 0 : cataloger_->thumbnails().size();
}

const Thumbnail& DuplicatesBrowserSource::imageBrowserItemAtIndex(ImageBrowserView&,
                                                                  std::size_t index) {
  return cataloger_->thumbnails().at(index);
}

std::size_t DuplicatesBrowserSource::numberOfGroupsInImageBrowser(ImageBrowserView&) {
  return scanning_() ? 0 : cataloger_->duplicateGroups().size();
}

ImageBrowserGroup DuplicatesBrowserSource::imageBrowserGroupAtIndex(ImageBrowserView&,
                                                                    std::size_t index) {
  return ImageBrowserGroup{0, kGroupBackground, cataloger_->duplicateGroups().at(index)};
}

IndexSet DuplicatesBrowserSource::duplicatesIndexSet() {
  return scanning_() ? IndexSet() : cataloger_->duplicatesIndexSet();
}

QString DuplicatesBrowserSource::imageBrowserItemDetailsAtIndex(ImageBrowserView&,
                                                                std::size_t index) {
  if (scanning_() || index >= cataloger_->thumbnails().size()) return {};
  const std::string& key = cataloger_->thumbnails()[index].iPhotoKey();
  for (const DuplicateSet& set : cataloger_->duplicateSets()) {
    const std::vector<std::shared_ptr<Photo>>& photos = set.orderedPhotos();
    for (std::size_t at = 0; at < photos.size(); ++at)
      if (photos[at]->iPhotoKey() == key)
        return photoDetails(*photos[at], explainMatches(photos)[at], at == 0);
  }
  return {};
}

}  // namespace twinlens
