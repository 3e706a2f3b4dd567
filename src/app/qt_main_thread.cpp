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
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (inFlight_ == 0) break;
    }
    runHandedOverWork();
    QThread::yieldCurrentThread();
  }
  receiver_.reset();
}

void QtMainThread::runHandedOverWork() {
  QCoreApplication::sendPostedEvents(receiver_.get(), QEvent::MetaCall);
}

int QtMainThread::workersWaiting() const {
  std::lock_guard lock(mutex_);
  return inFlight_;
}

void QtMainThread::shutDown() {
  std::lock_guard lock(mutex_);
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
  {
    std::lock_guard lock(mutex_);
    if (shutDown_) return false;
    ++inFlight_;
  }
  // The flag lives on the worker's stack: the worker waits until the call ran or was skipped.
  bool ran = false;
  bool queued = QMetaObject::invokeMethod(
      receiver_.get(),
      [this, &work, &ran] {
        if (shutDown_) return;
        work();
        ran = true;
      },
      Qt::BlockingQueuedConnection);
  std::lock_guard lock(mutex_);
  --inFlight_;
  return queued && ran;
}

void QtMainThread::post(std::function<void()> work) {
  // Posting does not wait, so the lock may be held across it: shutDown() then follows it.
  std::lock_guard lock(mutex_);
  if (shutDown_) return;
  QMetaObject::invokeMethod(
      receiver_.get(),
      [this, work = std::move(work)] {
        if (!shutDown_) work();
      },
      Qt::QueuedConnection);
}

}  // namespace twinlens
