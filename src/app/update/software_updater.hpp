#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QWidget;

namespace twinlens {

// Says whether the update feed offers a version newer than the running one. The feed's address
// is the information dictionary's "SUFeedURL". A check never blocks the window and an
// unreachable feed is reported as such, not as "up to date".
class SoftwareUpdater : public QObject {
  Q_OBJECT

 public:
  enum class Outcome { UpToDate, NewerVersion, Failed };

  // `feedURL` and `currentVersion` default to the information dictionary's values.
  explicit SoftwareUpdater(QWidget* window, std::optional<QUrl> feedURL = std::nullopt,
                           std::optional<QString> currentVersion = std::nullopt);

  QUrl feedURL() const { return feedURL_; }
  bool isChecking() const { return reply_ != nullptr; }

 public slots:
  // The menu item's action: fetches the feed and answers in an alert on the window.
  void checkForUpdates();

 signals:
  // After each check, with the newest version offered (empty when the check failed).
  void checkFinished(twinlens::SoftwareUpdater::Outcome outcome, const QString& newestVersion);

 private:
  void finish(QNetworkReply* reply);
  void report(Outcome outcome, const QString& informative, const QString& newestVersion);

  QWidget* window_;
  QUrl feedURL_;
  QString currentVersion_;
  QNetworkAccessManager* network_;
  QPointer<QNetworkReply> reply_;
};

}  // namespace twinlens
