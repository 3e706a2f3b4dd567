#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <deque>
#include <mutex>

namespace twinlens {

// Decodes thumbnail files on worker threads and keeps the decoded images in a cache bounded by
// their size in bytes. The view asks after each paint for the images it lacked; the newest
// request replaces what was still waiting, so scrolling past a thousand items decodes only those
// that stay in view. Main thread only, but for the workers' own queue.
class ThumbnailLoader : public QObject {
  Q_OBJECT

 public:
  // The longest side images are decoded to: the browser's largest cell.
  static constexpr int kDecodeSide = 256;

  explicit ThumbnailLoader(QObject* parent = nullptr, qint64 cacheBytes = 192ll << 20);
  ~ThumbnailLoader() override;

  // The decoded image, or null while it is not loaded (or is known to be missing).
  const QImage* image(const QString& path) const { return cache_.object(path); }
  // Whether the file was tried and could not be decoded: it has no image and is not retried.
  bool isMissing(const QString& path) const { return missing_.contains(path); }
  // Replaces the waiting requests with `paths` (in the order they should be decoded), leaving out
  // what is loaded, missing or being decoded.
  void request(const QStringList& paths);
  // Forgets every image and every outcome (a new scan may have rewritten the files).
  void clear();
  // Waits for the workers to go idle; for tests and benchmarks.
  void waitForIdle();

  int waitingCount();

 signals:
  void imageLoaded(const QString& path);

 private:
  void drain();
  void deliver(const QString& path, const QImage& image, quint64 generation);
  static QImage decode(const QString& path);

  QThreadPool pool_;
  QCache<QString, QImage> cache_;
  QSet<QString> missing_;
  QSet<QString> inFlight_;

  std::mutex mutex_;
  std::deque<QString> waiting_;
  int activeWorkers_ = 0;
  quint64 generation_ = 0;
};

}  // namespace twinlens
