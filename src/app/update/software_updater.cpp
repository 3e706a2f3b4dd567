#include "app/update/software_updater.hpp"

#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/sheets/alert_style.hpp"
#include "app/update/appcast.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {
constexpr int kTransferTimeoutMs = 15000;

QString infoText(const char* key) {
  return QString::fromStdString(TwinlensApp::infoValue(key).value_or(""));
}
}  // namespace

SoftwareUpdater::SoftwareUpdater(QWidget* window, std::optional<QUrl> feedURL,
                                 std::optional<QString> currentVersion)
    : QObject(window),
      window_(window),
      feedURL_(feedURL.value_or(QUrl(infoText("SUFeedURL")))),
      currentVersion_(currentVersion.value_or(infoText("CFBundleVersion"))),
      network_(new QNetworkAccessManager(this)) {}

void SoftwareUpdater::checkForUpdates() {
  if (reply_) return;
  if (!feedURL_.isValid() || feedURL_.isEmpty()) {
    report(Outcome::Failed,
           tr("This copy of %1 has no update feed address.")
               .arg(QString::fromStdString(TwinlensApp::appName())),
           {});
    return;
  }
  QNetworkRequest request(feedURL_);
  request.setTransferTimeout(kTransferTimeoutMs);
  request.setMaximumRedirectsAllowed(5);
  reply_ = network_->get(request);
  connect(reply_, &QNetworkReply::finished, this, [this, reply = reply_.data()] { finish(reply); });
}

void SoftwareUpdater::finish(QNetworkReply* reply) {
  reply->deleteLater();
  reply_ = nullptr;
  if (reply->error() != QNetworkReply::NoError) {
    logWarn("update check failed: %s", reply->errorString().toUtf8().constData());
    report(Outcome::Failed,
           tr("An error occurred in retrieving update information. Please try again later."), {});
    return;
  }
  ErrorRecord error;
  std::optional<AppcastItem> newest =
      Appcast::newestItem(reply->read(Appcast::kMaxFeedBytes + 1), &error);
  if (!newest) {
    logWarn("update check failed: %s", error.description().c_str());
    report(Outcome::Failed,
           tr("An error occurred in retrieving update information. Please try again later."), {});
    return;
  }
  QString appName = QString::fromStdString(TwinlensApp::appName());
  if (Appcast::compareVersions(newest->version, currentVersion_) > 0)
    report(Outcome::NewerVersion,
           tr("%1 %2 is now available (you have %3).")
               .arg(appName, newest->shortVersionString, currentVersion_),
           newest->shortVersionString);
  else
    report(Outcome::UpToDate,
           tr("%1 %2 is currently the newest version available.").arg(appName, currentVersion_),
           newest->shortVersionString);
}

void SoftwareUpdater::report(Outcome outcome, const QString& informative,
                             const QString& newestVersion) {
  auto* box = new QMessageBox(window_);
  box->setObjectName("updateAlert");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  box->setText(outcome == Outcome::Failed         ? tr("Update Error!")
               : outcome == Outcome::NewerVersion ? tr("A new version is available!")
                                                  : tr("You're up-to-date!"));
  box->setInformativeText(informative);
  box->setStandardButtons(QMessageBox::Ok);
  setAlertKind(*box, outcome == Outcome::Failed ? AlertKind::Warning : AlertKind::Information);
  box->open();
  emit checkFinished(outcome, newestVersion);
}

}  // namespace twinlens
