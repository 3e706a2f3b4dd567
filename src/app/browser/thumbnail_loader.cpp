#include "app/browser/thumbnail_loader.hpp"

#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <QMetaObject>

#include "io/file_helpers.hpp"

namespace twinlens {

ThumbnailLoader::ThumbnailLoader(QObject* parent, qint64 cacheBytes)
    : QObject(parent), cache_(cacheBytes) {
  pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

ThumbnailLoader::~ThumbnailLoader() {
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
    ++generation_;
  }
  pool_.waitForDone();
}

void ThumbnailLoader::request(const QStringList& paths) {
  std::lock_guard lock(mutex_);
  waiting_.clear();
  for (const QString& path : paths) {
    if (cache_.contains(path) || missing_.contains(path) || inFlight_.contains(path)) continue;
    waiting_.push_back(path);
  }
  int wanted = std::min<int>(pool_.maxThreadCount(), static_cast<int>(waiting_.size()));
  for (; activeWorkers_ < wanted; ++activeWorkers_) pool_.start([this] { drain(); });
}

void ThumbnailLoader::drain() {
  for (;;) {
    QString path;
    quint64 generation;
    {
      std::lock_guard lock(mutex_);
      if (waiting_.empty()) {
        --activeWorkers_;
        return;
      }
      path = std::move(waiting_.front());
      waiting_.pop_front();
      inFlight_.insert(path);
      generation = generation_;
    }
    QImage image = decode(path);
    QMetaObject::invokeMethod(
        this, [this, path, image, generation] { deliver(path, image, generation); },
        Qt::QueuedConnection);
  }
}

void ThumbnailLoader::deliver(const QString& path, const QImage& image, quint64 generation) {
  bool stale;
  {
    std::lock_guard lock(mutex_);
    inFlight_.remove(path);
    stale = generation != generation_;
  }
  // A stale image is dropped, but the view still hears of it so that it asks again.
  if (!stale && image.isNull())
    missing_.insert(path);
  else if (!stale)
    cache_.insert(path, new QImage(image), std::max<qint64>(1, image.sizeInBytes()));
  emit imageLoaded(path);
}

QImage ThumbnailLoader::decode(const QString& path) {
  // Opened as every outside file is, so that a named pipe in a thumbnail's place cannot hold a
  // worker, and the pool's wait at destruction, for ever.
  int fd = openRegularFileForReading(QFile::encodeName(path).toStdString());
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    return QImage();
  }
  QImageReader reader(&file);
  reader.setAutoTransform(true);
  QSize size = reader.size();
  if (size.isValid() && (size.width() > kDecodeSide || size.height() > kDecodeSide))
    reader.setScaledSize(size.scaled(kDecodeSide, kDecodeSide, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull()) return image;
  if (std::max(image.width(), image.height()) > kDecodeSide)
    image = image.scaled(kDecodeSide, kDecodeSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void ThumbnailLoader::clear() {
  std::lock_guard lock(mutex_);
  waiting_.clear();
  ++generation_;
  cache_.clear();
  missing_.clear();
}

void ThumbnailLoader::waitForIdle() {
  pool_.waitForDone();
}

int ThumbnailLoader::waitingCount() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(waiting_.size());
}

}  // namespace twinlens
