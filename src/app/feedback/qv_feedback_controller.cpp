#include "app/feedback/qv_feedback_controller.hpp"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHostAddress>
#include <QScreen>
#include <QTextCursor>
#include <algorithm>
#include <thread>

#include "app/feedback/linux_feedback_platform.hpp"
#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr std::uint32_t kSupportSection = 2;
// A server that stops answering must end in the failure sheet, not in a window that waits.
constexpr int kTransferTimeoutMs = 60000;

const QString kSectionSeparator = QStringLiteral("\n\n--\n\n");

// The open reporter. A QPointer, so that it reads null once the controller is gone, and so that
// nothing is destroyed with the process's statics after the application object.
QPointer<QvFeedbackController> gFeedbackController;

QString infoText(const char* key) {
  return QString::fromStdString(TwinlensApp::infoValue(key).value_or(""));
}

// The insertion point's place in a section: the start of its second line, or the end of a
// section of one line.
int secondLineStart(const QString& text) {
  qsizetype lineBreak = text.indexOf(u'\n');
  return static_cast<int>(lineBreak < 0 ? text.size() : lineBreak + 1);
}

}  // namespace

void QvFeedbackController::showFeedback() {
  showFeedbackWithBugDetails(std::nullopt);
}

void QvFeedbackController::showFeedbackWithBugDetails(const std::optional<QString>& details,
                                                      std::shared_ptr<FeedbackPlatform> platform) {
  if (!platform) platform = std::make_shared<LinuxFeedbackPlatform>();
  QString host = postURL().host();
  platform->checkReachability(host, [host, details, platform](bool reachable) {
    if (reachable)
      openFeedbackWindow(details, platform);
    else
      showUnreachableAlert(host, details, platform);
  });
}

void QvFeedbackController::showUnreachableAlert(const QString& host,
                                                const std::optional<QString>& details,
                                                std::shared_ptr<FeedbackPlatform> platform) {
  FeedbackStrings strings;
  auto alert = std::make_unique<QMessageBox>(
      QMessageBox::Warning, QString(), strings.text(QStringLiteral("Feedback Host Not Reachable")),
      QMessageBox::NoButton);
  alert->setInformativeText(
      FeedbackStrings::formatted(strings.text(QStringLiteral("Unreachable Explanation")), {host}));
  QPushButton* proceed =
      alert->addButton(strings.text(QStringLiteral("Proceed Anyway")), QMessageBox::AcceptRole);
  alert->addButton(strings.text(QStringLiteral("Cancel")), QMessageBox::RejectRole);
  alert->setDefaultButton(proceed);
  alert->setWindowModality(Qt::ApplicationModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  QMessageBox& shown = *alert;
  QObject::connect(&shown, &QMessageBox::finished, &shown, [&shown, proceed, details, platform] {
    if (shown.clickedButton() == proceed) openFeedbackWindow(details, platform);
  });
  // From here the alert belongs to Qt: it deletes itself when it closes.
  alert.release()->open();
}

void QvFeedbackController::openFeedbackWindow(const std::optional<QString>& details,
                                              std::shared_ptr<FeedbackPlatform> platform) {
  if (!gFeedbackController) {
    auto controller =
        std::make_unique<QvFeedbackController>(ConstructionKey(), std::move(platform));
    // The controller owns itself from here: closeFeedback hands it to deleteLater.
    gFeedbackController = controller.release();
  }
  gFeedbackController->showCentred();
  if (details) gFeedbackController->setTextViewStringTo(*details);
}

QUrl QvFeedbackController::postURL() {
  std::string domain = TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
  std::optional<std::string> address = UserDefaults(domain).stringForKey(kFeedbackURLKey);
  if (!address || address->empty()) address = TwinlensApp::infoValue(kFeedbackURLKey);
  if (!address || address->empty()) throw ProgrammingError("QvFeedbackURL not defined");
  return QUrl(QString::fromStdString(*address));
}

bool QvFeedbackController::isAllowedPostURL(const QUrl& url) {
  if (!url.isValid() || url.host().isEmpty()) return false;
  if (url.scheme() == u"https") return true;
  return url.scheme() == u"http" && QHostAddress(url.host()).isLoopback();
}

QvFeedbackController* QvFeedbackController::current() {
  return gFeedbackController;
}

QvFeedbackController::QvFeedbackController(ConstructionKey,
                                           std::shared_ptr<FeedbackPlatform> platform)
    : platform_(std::move(platform)) {
  buildWindow();
  windowDidLoad();
  // A reporter still open when the application quits is closed while Qt can still delete it.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
          [this] { closeFeedback(); });
}

QvFeedbackController::~QvFeedbackController() {
  // The controls are destroyed before QObject's own destructor would cut their connections to
  // this object, so nothing they emit on the way may reach it.
  for (QObject* child : feedbackWindow_.findChildren<QObject*>()) child->disconnect(this);
  network_.disconnect(this);
  if (reply_) reply_->disconnect(this);
  feedbackWindow_.removeEventFilter(this);
}

void QvFeedbackController::buildWindow() {
  labelControls();
  layOutControls();
  buildNoEmailAlert();
  connectControls();
}

void QvFeedbackController::labelControls() {
  for (const QString& label : strings_.segmentLabels()) segmentedControl_.addTab(label);
  textView_.setAcceptRichText(false);
  textView_.setMinimumSize(480, 260);
  textView_.setPlainText(strings_.sectionTemplates());
  includeContactInfoCheckbox_.setText(strings_.label(QStringLiteral("includeContactInfo")));
  includeContactInfoCheckbox_.setChecked(includeContactInfo_);
  nameLabel_.setText(strings_.label(QStringLiteral("name")));
  emailLabel_.setText(strings_.label(QStringLiteral("email")));
  emailAddressComboBox_.setEditable(true);
  emailAddressComboBox_.setInsertPolicy(QComboBox::NoInsert);
  includeHardwareDetailsCheckbox_.setText(strings_.label(QStringLiteral("includeHardwareDetails")));
  progress_.setRange(0, 0);
  progress_.setTextVisible(false);
  progress_.setMaximumWidth(120);
  progress_.hide();
  cancelButton_.setText(strings_.label(QStringLiteral("cancel")));
  sendButton_.setText(strings_.label(QStringLiteral("send")));
  sendButton_.setDefault(true);
}

void QvFeedbackController::layOutControls() {
  layout_.addWidget(&segmentedControl_, 0, 0, 1, 2, Qt::AlignHCenter);
  layout_.addWidget(&textView_, 1, 0, 1, 2);
  layout_.addWidget(&includeContactInfoCheckbox_, 2, 0, 1, 2);
  layout_.addWidget(&nameLabel_, 3, 0);
  layout_.addWidget(&nameTextField_, 3, 1);
  layout_.addWidget(&emailLabel_, 4, 0);
  layout_.addWidget(&emailAddressComboBox_, 4, 1);
  layout_.addWidget(&includeHardwareDetailsCheckbox_, 5, 0, 1, 2);
  buttonRowLayout_.setContentsMargins(0, 0, 0, 0);
  buttonRowLayout_.addWidget(&progress_);
  buttonRowLayout_.addStretch();
  buttonRowLayout_.addWidget(&cancelButton_);
  buttonRowLayout_.addWidget(&sendButton_);
  layout_.addWidget(&buttonRow_, 6, 0, 1, 2);
}

void QvFeedbackController::buildNoEmailAlert() {
  noEmailAlert_.setIcon(QMessageBox::Warning);
  noEmailAlert_.setText(QStringLiteral("No email address provided"));
  noEmailAlert_.setInformativeText(QStringLiteral(
      "If you do not provide an email address we cannot respond to your feedback. Do you want "
      "to provide this feedback without getting a response?"));
  continueButton_ = noEmailAlert_.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
  noEmailAlert_.addButton(QStringLiteral("Enter email address"), QMessageBox::RejectRole);
  noEmailAlert_.setDefaultButton(continueButton_);
  noEmailAlert_.setWindowModality(Qt::WindowModal);
}

void QvFeedbackController::connectControls() {
  connect(&segmentedControl_, &QTabBar::currentChanged, this, [this] { switchSectionAction(); });
  connect(&includeContactInfoCheckbox_, &QCheckBox::toggled, this,
          [this](bool checked) { setIncludeContactInfo(checked); });
  connect(&sendButton_, &QPushButton::clicked, this, [this] { submitAction(); });
  connect(&cancelButton_, &QPushButton::clicked, this, [this] { cancelAction(); });
  connect(&noEmailAlert_, &QMessageBox::finished, this,
          [this] { noEmailAlertDidEnd(noEmailAlert_.clickedButton()); });
  feedbackWindow_.installEventFilter(this);
}

void QvFeedbackController::windowDidLoad() {
  ignoreEmptyEmailAddress_ = false;
  segmentedControl_.setDocumentMode(true);
  segmentedControl_.setExpanding(false);
  feedbackWindow_.setWindowTitle(FeedbackStrings::formatted(strings_.text(QStringLiteral("Title")),
                                                            {infoText("CFBundleName")}));

  cutSections();
  showSection(0);

  if (std::optional<OwnCard> card = platform_->ownCard()) {
    nameTextField_.setText(card->name);
    emailAddressComboBox_.addItems(card->emailAddresses);
    if (!card->emailAddresses.isEmpty()) emailAddressComboBox_.setCurrentIndex(0);
  }
}

void QvFeedbackController::cutSections() {
  QString templates = textView_.toPlainText();
  qsizetype start = 0;
  for (std::uint32_t section = 0; section < sectionStrings_.size(); ++section) {
    qsizetype end = section + 1 < sectionStrings_.size()
                        ? templates.indexOf(kSectionSeparator, start)
                        : templates.size();
    if (end < 0) end = templates.size();
    QTextCursor cut(textView_.document());
    cut.setPosition(static_cast<int>(start));
    cut.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    sectionStrings_[section] = cut.selection();
    start = std::min(end + kSectionSeparator.size(), templates.size());
  }
}

void QvFeedbackController::showCentred() {
  feedbackWindow_.adjustSize();
  if (QScreen* screen = feedbackWindow_.screen()) {
    QRect frame = feedbackWindow_.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    feedbackWindow_.move(frame.topLeft());
  }
  feedbackWindow_.show();
  feedbackWindow_.raise();
  feedbackWindow_.activateWindow();
}

void QvFeedbackController::setIncludeContactInfo(bool flag) {
  nameTextField_.setEnabled(flag);
  emailAddressComboBox_.setEnabled(flag);
  includeContactInfoCheckbox_.setChecked(flag);
  if (flag == includeContactInfo_) return;
  includeContactInfo_ = flag;
  emit includeContactInfoChanged(flag);
}

void QvFeedbackController::setTextViewStringTo(const QString& text) {
  textView_.setPlainText(text);
}

void QvFeedbackController::showSection(std::uint32_t section) {
  textView_.clear();
  QTextCursor cursor(textView_.document());
  cursor.insertFragment(sectionStrings_[section]);
  // Undoing must not take away the section's text, only what the user typed into it.
  textView_.document()->clearUndoRedoStacks();
  cursor.setPosition(secondLineStart(textView_.toPlainText()));
  textView_.setTextCursor(cursor);
}

void QvFeedbackController::keepCurrentSectionText() {
  sectionStrings_[currentSection_] = QTextDocumentFragment(textView_.document());
}

void QvFeedbackController::switchSectionAction() {
  int selected = segmentedControl_.currentIndex();
  if (selected < 0 || static_cast<std::size_t>(selected) >= sectionStrings_.size()) return;
  keepCurrentSectionText();
  currentSection_ = static_cast<std::uint32_t>(selected);
  showSection(currentSection_);
  if (currentSection_ == kSupportSection) setIncludeContactInfo(true);
}

void QvFeedbackController::submitAction() {
  if (!ignoreEmptyEmailAddress_ && emailAddressComboBox_.currentText().isEmpty()) {
    showNoEmailAlert();
    return;
  }
  sendButton_.setEnabled(false);
  cancelButton_.setEnabled(false);
  // The section and its text are what is sent, so they must not change while the profile is made.
  segmentedControl_.setEnabled(false);
  keepCurrentSectionText();
  textView_.setReadOnly(true);
  progress_.show();

  if (!includeHardwareDetailsCheckbox_.isChecked()) {
    postFeedback(QString::fromLatin1(kSuppressedProfile));
    return;
  }
  // The worker holds only the platform; the controller may be gone by the time it is done.
  QPointer<QvFeedbackController> self(this);
  std::thread([platform = platform_, self] {
    QString profile = platform->machineProfile();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, profile] {
          if (self) self->postFeedback(profile);
        },
        Qt::QueuedConnection);
  }).detach();
}

void QvFeedbackController::showNoEmailAlert() {
  noEmailAlert_.open();
}

void QvFeedbackController::noEmailAlertDidEnd(QAbstractButton* clicked) {
  if (clicked == continueButton_) {
    ignoreEmptyEmailAddress_ = true;
    submitAction();
    return;
  }
  setIncludeContactInfo(true);
  emailAddressComboBox_.setFocus(Qt::OtherFocusReason);
}

PostForm QvFeedbackController::feedbackForm(const QString& systemProfile) const {
  PostForm form = {
      {QStringLiteral("feedbackType"), QString::fromLatin1(kFeedbackTypes[currentSection_])},
      {QStringLiteral("feedback"), sectionStrings_[currentSection_].toPlainText()},
      {QStringLiteral("appName"), infoText("CFBundleName")},
      {QStringLiteral("bundleID"), infoText("CFBundleIdentifier")},
      {QStringLiteral("version"), infoText("CFBundleVersion")},
      {QStringLiteral("systemProfile"), systemProfile},
  };
  if (includeContactInfo_) {
    QString email = emailAddressComboBox_.currentText();
    QString name = nameTextField_.text();
    if (!email.isEmpty()) form.emplace_back(QStringLiteral("email"), email);
    if (!name.isEmpty()) form.emplace_back(QStringLiteral("name"), name);
  }
  return form;
}

void QvFeedbackController::postFeedback(const QString& systemProfile) {
  QUrl url = postURL();
  if (!isAllowedPostURL(url)) {
    connectionDidFailWithError(
        QStringLiteral(
            "feedback is sent only over https (or plain http to a loopback address), not to ") +
        url.toDisplayString());
    return;
  }
  FormPostRequest post = FormPostRequest::requestWithURL(url, feedbackForm(systemProfile));
  post.request.setTransferTimeout(kTransferTimeoutMs);
  post.request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                            QNetworkRequest::NoLessSafeRedirectPolicy);
  reply_ = network_.post(post.request, post.body);
  QNetworkReply* reply = reply_;
  connect(reply, &QNetworkReply::finished, this, [this, reply] {
    reply->deleteLater();
    // HTTP error statuses count as failures too: a server that answers 500 has not taken it.
    if (reply->error() == QNetworkReply::NoError)
      connectionDidFinishLoading();
    else
      connectionDidFailWithError(reply->errorString());
  });
}

void QvFeedbackController::connectionDidFinishLoading() {
  showOutcomeSheet(QStringLiteral("Thank you for your feedback!"),
                   QStringLiteral("Your feedback has been sent."), true);
}

void QvFeedbackController::connectionDidFailWithError(const QString& error) {
  logPlain("-[QvFeedback connection:didFailWithError:%s]", error.toUtf8().constData());
  showOutcomeSheet(
      QStringLiteral("An Error Occured"),
      QStringLiteral(
          "There was a problem sending your feedback.  Please try again at another time"),
      false);
}

void QvFeedbackController::showOutcomeSheet(const QString& message, const QString& informativeText,
                                            bool sent) {
  // A failed post is a failure to the user: it carries the warning icon every failure has.
  outcomeSheet_ =
      std::make_unique<QMessageBox>(sent ? QMessageBox::Information : QMessageBox::Warning,
                                    QString(), message, QMessageBox::NoButton, &feedbackWindow_);
  outcomeSheet_->setInformativeText(informativeText);
  outcomeSheet_->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  outcomeSheet_->setWindowModality(Qt::WindowModal);
  connect(outcomeSheet_.get(), &QMessageBox::finished, this, [this, sent] { alertDidEnd(sent); });
  progress_.hide();
  outcomeSheet_->open();
}

void QvFeedbackController::alertDidEnd(bool sent) {
  if (sent) return closeFeedback();
  sendButton_.setEnabled(true);
  cancelButton_.setEnabled(true);
  segmentedControl_.setEnabled(true);
  textView_.setReadOnly(false);
}

void QvFeedbackController::cancelAction() {
  closeFeedback();
}

bool QvFeedbackController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &feedbackWindow_ && event->type() == QEvent::Close) windowWillClose();
  return QObject::eventFilter(watched, event);
}

void QvFeedbackController::windowWillClose() {
  closeFeedback();
}

void QvFeedbackController::closeFeedback() {
  if (!gFeedbackController) return;
  if (gFeedbackController != this) throw ProgrammingError("gFeedbackController == self");
  gFeedbackController = nullptr;
  feedbackWindow_.hide();
  // Called from the controls' own signals and events, so the deletion must wait for the loop.
  deleteLater();
}

}  // namespace twinlens
