#include "app/qt_main_thread.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <memory>

namespace twinlens {

QtMainThread::QtMainThread() : receiver_(std::make_unique<QObject>()) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, receiver_.get(), [this] { shutDown(); });
}

QtMainThread::~QtMainThread() {
  shutDown();
  // Qt releases a worker blocked on a queued call when the call's event is discarded with its
  // receiver; the worker then sees that the work did not run.
  receiver_.reset();
}

void QtMainThread::shutDown() {
  shutDown_ = true;
}

bool QtMainThread::isMainThread() const {
  return QThread::currentThread() == receiver_->thread();
}

bool QtMainThread::performAndWait(std::function<void()> work) {
  if (shutDown_) return false;
  if (isMainThread()) {
    work();
    return true;
  }
  // The flag lives on the worker's stack: the worker waits until the call ran or was discarded.
  bool ran = false;
  bool queued = QMetaObject::invokeMethod(
      receiver_.get(),
      [this, &work, &ran] {
        if (shutDown_) return;
        work();
        ran = true;
      },
      Qt::BlockingQueuedConnection);
  return queued && ran;
}

void QtMainThread::post(std::function<void()> work) {
  if (shutDown_) return;
  QMetaObject::invokeMethod(
      receiver_.get(),
      [this, work = std::move(work)] {
        if (!shutDown_) work();
      },
      Qt::QueuedConnection);
}

}  // namespace twinlens
