#include "app/feedback/qv_feedback_controller.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTest>
#include <QUuid>
#include <atomic>
#include <thread>

#include "feedback_server.hpp"
#include "platform/user_defaults.hpp"
#include "qt_test_support.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "shared/twinlens_app.hpp"
#include "support/log_capture.hpp"
#include "untrusted_tls_server.hpp"

namespace twinlens {
namespace {

using testing::FeedbackServer;
using testing::ReceivedPost;

const QString kSeparator = QStringLiteral("\n\n--\n\n");
const QString kThanks = QStringLiteral("Thank you for your feedback!");
const QString kFailure = QStringLiteral("An Error Occured");

// Stands for the machine: answers reachability as told, has the card it is given and notes
// where the profile is made.
class FakePlatform : public FeedbackPlatform {
 public:
  void checkReachability(const QString& host, std::function<void(bool)> done) override {
    checkedHosts.append(host);
    done(reachable);
  }
  std::optional<OwnCard> ownCard() override { return card; }
  QString machineProfile() override {
    ++profilesMade;
    if (std::this_thread::get_id() == mainThread) profileMadeOnMainThread = true;
    return QStringLiteral("Processor: Test CPU\nCores: 4\n");
  }

  bool reachable = true;
  std::optional<OwnCard> card;
  QStringList checkedHosts;
  std::atomic<int> profilesMade{0};
  std::atomic<bool> profileMadeOnMainThread{false};
  const std::thread::id mainThread = std::this_thread::get_id();
};

std::string bundleIdentifier() {
  return TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens");
}

void setPostURLDefault(const QString& address) {
  UserDefaults defaults(bundleIdentifier());
  defaults.setString(address.toStdString(), QvFeedbackController::kFeedbackURLKey);
  ASSERT_TRUE(defaults.synchronize());
}

void removePostURLDefault() {
  UserDefaults defaults(bundleIdentifier());
  defaults.removeObjectForKey(QvFeedbackController::kFeedbackURLKey);
  ASSERT_TRUE(defaults.synchronize());
}

QString info(const char* key) {
  return QString::fromStdString(TwinlensApp::infoValue(key).value_or(""));
}

QString templateOfSection(int section) {
  return FeedbackStrings().sectionTemplates().section(kSeparator, section, section);
}

// What the reporter sends, in the order it sends it.
PostForm expectedForm(const char* type, const QString& feedback, const QString& profile,
                      const QString& email = {}, const QString& name = {}) {
  PostForm form = {{QStringLiteral("feedbackType"), QString::fromLatin1(type)},
                   {QStringLiteral("feedback"), feedback},
                   {QStringLiteral("appName"), info("CFBundleName")},
                   {QStringLiteral("bundleID"), info("CFBundleIdentifier")},
                   {QStringLiteral("version"), info("CFBundleVersion")},
                   {QStringLiteral("systemProfile"), profile}};
  if (!email.isEmpty()) form.emplace_back(QStringLiteral("email"), email);
  if (!name.isEmpty()) form.emplace_back(QStringLiteral("name"), name);
  return form;
}

// The sheet shown on `window`, or null.
QMessageBox* shownSheet(QWidget* window) {
  for (QMessageBox* box : window->findChildren<QMessageBox*>())
    if (box->isVisible()) return box;
  return nullptr;
}

// A shown alert that belongs to no window, or null.
QMessageBox* shownAlert() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box && !box->parentWidget() && box->isVisible()) return box;
  }
  return nullptr;
}

QStringList buttonLabels(QMessageBox* box) {
  QStringList labels;
  for (QAbstractButton* button : box->buttons()) labels.append(button->text());
  labels.sort();
  return labels;
}

void press(QMessageBox* box, const QString& label) {
  for (QAbstractButton* button : box->buttons())
    if (button->text() == label) return button->click();
  ADD_FAILURE() << "no button " << label.toStdString();
}

class FeedbackControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { setPostURLDefault(server_.url().toString()); }

  void TearDown() override {
    if (QvFeedbackController* controller = QvFeedbackController::current())
      controller->cancelAction();
    while (QMessageBox* alert = shownAlert()) alert->close();
    testing::deleteLaterObjects();
    removePostURLDefault();
  }

  QvFeedbackController& open(const std::optional<QString>& details = std::nullopt) {
    QvFeedbackController::showFeedbackWithBugDetails(details, platform_);
    EXPECT_TRUE(testing::runUntil([] { return QvFeedbackController::current() != nullptr; }));
    return *QvFeedbackController::current();
  }

  // Presses Send and waits for the sheet that tells the outcome.
  QMessageBox* sendAndWaitForOutcome(QvFeedbackController& controller) {
    QWidget* window = controller.feedbackWindow();
    controller.sendButton()->click();
    QMessageBox* sheet = nullptr;
    EXPECT_TRUE(testing::runUntil([&] {
      sheet = shownSheet(window);
      return sheet && (sheet->text() == kThanks || sheet->text() == kFailure);
    }));
    return sheet;
  }

  // Sends and returns the form the server received, after the thank-you sheet.
  PostForm sendAndReceiveForm(QvFeedbackController& controller) {
    QMessageBox* sheet = sendAndWaitForOutcome(controller);
    if (!sheet) return {};
    EXPECT_EQ(sheet->text(), kThanks);
    EXPECT_EQ(server_.posts().size(), 1u);
    if (server_.posts().empty()) return {};
    const ReceivedPost& post = server_.posts().front();
    std::optional<PostForm> form = testing::parseFeedbackForm(post.body, post.boundary());
    EXPECT_TRUE(form.has_value()) << post.body.toStdString();
    return form.value_or(PostForm());
  }

  static void enterContact(QvFeedbackController& controller, const QString& name,
                           const QString& email) {
    controller.nameTextField()->setText(name);
    controller.emailAddressComboBox()->setEditText(email);
  }

  FeedbackServer server_;
  std::shared_ptr<FakePlatform> platform_ = std::make_shared<FakePlatform>();
};

TEST_F(FeedbackControllerTest, OpensOnTheBugSectionWithTheInsertionPointOnItsSecondLine) {
  QvFeedbackController& controller = open();
  EXPECT_TRUE(controller.feedbackWindow()->isVisible());
  EXPECT_EQ(controller.feedbackWindow()->windowTitle(),
            FeedbackStrings::formatted(FeedbackStrings().text(QStringLiteral("Title")),
                                       {info("CFBundleName")}));
  EXPECT_EQ(controller.currentSection(), 0u);
  EXPECT_TRUE(controller.includeContactInfo());
  QString shown = controller.textView()->toPlainText();
  EXPECT_EQ(shown, templateOfSection(0));
  EXPECT_EQ(controller.textView()->textCursor().position(), shown.indexOf(u'\n') + 1);
  EXPECT_EQ(platform_->checkedHosts, QStringList{QStringLiteral("127.0.0.1")});
}

TEST_F(FeedbackControllerTest, ShowFeedbackOpensTheReporterOnTheMachinesOwnServices) {
  QvFeedbackController::showFeedback();
  ASSERT_TRUE(testing::runUntil([] { return QvFeedbackController::current() != nullptr; }));
  EXPECT_TRUE(QvFeedbackController::current()->feedbackWindow()->isVisible());
  EXPECT_EQ(QvFeedbackController::current()->emailAddressComboBox()->count(), 0);
}

TEST_F(FeedbackControllerTest, OwnCardFillsTheNameAndOffersItsAddresses) {
  platform_->card = OwnCard{QStringLiteral("Jane Doe"),
                            {QStringLiteral("jane@example.org"), QStringLiteral("jd@example.net")}};
  QvFeedbackController& controller = open();
  EXPECT_EQ(controller.nameTextField()->text(), QStringLiteral("Jane Doe"));
  QComboBox* email = controller.emailAddressComboBox();
  ASSERT_EQ(email->count(), 2);
  EXPECT_EQ(email->itemText(1), QStringLiteral("jd@example.net"));
  EXPECT_EQ(email->currentText(), QStringLiteral("jane@example.org"));
}

TEST_F(FeedbackControllerTest, TemplateAloneIsSentWithEveryFieldInOrder) {
  QvFeedbackController& controller = open();
  enterContact(controller, QStringLiteral("Jane Doe"), QStringLiteral("jane@example.org"));
  EXPECT_EQ(sendAndReceiveForm(controller),
            expectedForm("BUG", templateOfSection(0), QStringLiteral("<systemProfile suppressed>"),
                         QStringLiteral("jane@example.org"), QStringLiteral("Jane Doe")));
  EXPECT_EQ(platform_->profilesMade, 0);
}

TEST_F(FeedbackControllerTest, PostIsAMultipartFormUnderAFreshBoundary) {
  QvFeedbackController& controller = open();
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  sendAndReceiveForm(controller);
  ASSERT_EQ(server_.posts().size(), 1u);
  const ReceivedPost& post = server_.posts().front();
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.target, "/feedback");
  QByteArray boundary = post.boundary();
  const QByteArray prefix = "x-mime-boundary://";
  ASSERT_TRUE(boundary.startsWith(prefix)) << post.headers.value("content-type").toStdString();
  EXPECT_FALSE(QUuid::fromString(QString::fromLatin1(boundary.mid(prefix.size()))).isNull());
  EXPECT_EQ(post.headers.value("content-length").toLongLong(), post.body.size());
  EXPECT_TRUE(post.body.startsWith("--" + boundary + "\r\n"));
  EXPECT_TRUE(post.body.endsWith("\r\n\r\n--" + boundary + "--\r\n"));
}

TEST_F(FeedbackControllerTest, WithoutContactInfoNeitherNameNorEmailIsSent) {
  QvFeedbackController& controller = open();
  enterContact(controller, QStringLiteral("Jane Doe"), QStringLiteral("jane@example.org"));
  controller.includeContactInfoCheckbox()->click();
  ASSERT_FALSE(controller.includeContactInfo());
  EXPECT_FALSE(controller.nameTextField()->isEnabled());
  EXPECT_EQ(
      sendAndReceiveForm(controller),
      expectedForm("BUG", templateOfSection(0), QStringLiteral("<systemProfile suppressed>")));
}

TEST_F(FeedbackControllerTest, AnEmptyNameSendsNoNameField) {
  QvFeedbackController& controller = open();
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  EXPECT_EQ(sendAndReceiveForm(controller),
            expectedForm("BUG", templateOfSection(0), QStringLiteral("<systemProfile suppressed>"),
                         QStringLiteral("jane@example.org")));
}

TEST_F(FeedbackControllerTest, EachSectionSendsItsTypeAndItsOwnText) {
  struct Case {
    int section;
    const char* type;
  };
  for (Case c : {Case{0, "BUG"}, Case{1, "FEATURE"}, Case{2, "SUPPORT"}}) {
    SCOPED_TRACE(c.type);
    FeedbackServer server;
    setPostURLDefault(server.url().toString());
    QvFeedbackController& controller = open();
    enterContact(controller, QString(), QStringLiteral("jane@example.org"));
    controller.segmentedControl()->setCurrentIndex(c.section);
    QTest::keyClicks(controller.textView(), QStringLiteral("typed here"));
    QString text = controller.textView()->toPlainText();
    ASSERT_TRUE(text.contains(QStringLiteral("typed here")));

    ASSERT_TRUE(sendAndWaitForOutcome(controller));
    ASSERT_EQ(server.posts().size(), 1u);
    const ReceivedPost& post = server.posts().front();
    EXPECT_EQ(testing::parseFeedbackForm(post.body, post.boundary()),
              expectedForm(c.type, text, QStringLiteral("<systemProfile suppressed>"),
                           QStringLiteral("jane@example.org")));
    controller.cancelAction();
    testing::deleteLaterObjects();
  }
}

TEST_F(FeedbackControllerTest, SectionTextsSurviveSwitchingBetweenSections) {
  QvFeedbackController& controller = open();
  QTest::keyClicks(controller.textView(), QStringLiteral("the bug"));
  QString bugText = controller.textView()->toPlainText();

  controller.segmentedControl()->setCurrentIndex(1);
  EXPECT_EQ(controller.currentSection(), 1u);
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(1));
  QTest::keyClicks(controller.textView(), QStringLiteral("the wish"));
  QString wishText = controller.textView()->toPlainText();

  controller.segmentedControl()->setCurrentIndex(0);
  EXPECT_EQ(controller.textView()->toPlainText(), bugText);
  EXPECT_EQ(controller.textView()->textCursor().position(), bugText.indexOf(u'\n') + 1);
  controller.segmentedControl()->setCurrentIndex(1);
  EXPECT_EQ(controller.textView()->toPlainText(), wishText);
  controller.segmentedControl()->setCurrentIndex(2);
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(2));
  // Undo takes back typing, never the section's text itself.
  QTest::keyClicks(controller.textView(), QStringLiteral("help"));
  while (controller.textView()->document()->isUndoAvailable()) controller.textView()->undo();
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(2));
}

TEST_F(FeedbackControllerTest, SwitchingToSupportTurnsContactInfoOnAndSwitchingBackLeavesIt) {
  QvFeedbackController& controller = open();
  controller.includeContactInfoCheckbox()->click();
  ASSERT_FALSE(controller.includeContactInfo());
  QSignalSpy changes(&controller, &QvFeedbackController::includeContactInfoChanged);

  controller.segmentedControl()->setCurrentIndex(1);
  EXPECT_FALSE(controller.includeContactInfo());
  controller.segmentedControl()->setCurrentIndex(2);
  EXPECT_TRUE(controller.includeContactInfo());
  EXPECT_TRUE(controller.property("includeContactInfo").toBool());
  EXPECT_TRUE(controller.includeContactInfoCheckbox()->isChecked());
  EXPECT_TRUE(controller.emailAddressComboBox()->isEnabled());
  controller.segmentedControl()->setCurrentIndex(0);
  EXPECT_TRUE(controller.includeContactInfo());
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes.front().front().toBool(), true);
}

TEST_F(FeedbackControllerTest, HardwareDetailsSendTheProfileMadeOnAWorkerThread) {
  QvFeedbackController& controller = open();
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  controller.includeHardwareDetailsCheckbox()->setChecked(true);
  EXPECT_EQ(
      sendAndReceiveForm(controller),
      expectedForm("BUG", templateOfSection(0), QStringLiteral("Processor: Test CPU\nCores: 4\n"),
                   QStringLiteral("jane@example.org")));
  EXPECT_EQ(platform_->profilesMade, 1);
  EXPECT_FALSE(platform_->profileMadeOnMainThread);
}

TEST_F(FeedbackControllerTest, SendingLocksTheWindowUntilTheOutcomeSheet) {
  QvFeedbackController& controller = open();
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  controller.includeHardwareDetailsCheckbox()->setChecked(true);
  controller.sendButton()->click();
  EXPECT_FALSE(controller.sendButton()->isEnabled());
  EXPECT_FALSE(controller.cancelButton()->isEnabled());
  EXPECT_FALSE(controller.segmentedControl()->isEnabled());
  EXPECT_TRUE(controller.textView()->isReadOnly());
  EXPECT_TRUE(controller.progress()->isVisible());

  QMessageBox* sheet = nullptr;
  ASSERT_TRUE(testing::runUntil([&] { return (sheet = shownSheet(controller.feedbackWindow())); }));
  EXPECT_EQ(sheet->text(), kThanks);
  EXPECT_EQ(sheet->informativeText(), QStringLiteral("Your feedback has been sent."));
  EXPECT_EQ(sheet->icon(), QMessageBox::Information);
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(buttonLabels(sheet), QStringList{QStringLiteral("OK")});
  EXPECT_FALSE(controller.progress()->isVisible());

  press(sheet, QStringLiteral("OK"));
  EXPECT_EQ(QvFeedbackController::current(), nullptr);
  EXPECT_FALSE(controller.feedbackWindow()->isVisible());
}

TEST_F(FeedbackControllerTest, AnEmptyEmailAsksOnceAndContinueSendsWithoutIt) {
  QvFeedbackController& controller = open();
  controller.nameTextField()->setText(QStringLiteral("Jane Doe"));
  controller.sendButton()->click();
  QMessageBox* question = shownSheet(controller.feedbackWindow());
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->text(), QStringLiteral("No email address provided"));
  EXPECT_EQ(question->informativeText(),
            QStringLiteral("If you do not provide an email address we cannot respond to your "
                           "feedback. Do you want to provide this feedback without getting a "
                           "response?"));
  EXPECT_EQ(buttonLabels(question),
            (QStringList{QStringLiteral("Continue"), QStringLiteral("Enter email address")}));
  EXPECT_TRUE(controller.sendButton()->isEnabled());
  int shows = 0;
  QObject::connect(question, &QMessageBox::finished, [&shows] { ++shows; });

  press(question, QStringLiteral("Continue"));
  QMessageBox* sheet = nullptr;
  ASSERT_TRUE(testing::runUntil([&] {
    sheet = shownSheet(controller.feedbackWindow());
    return sheet && sheet->text() == kThanks;
  }));
  EXPECT_EQ(shows, 1);
  ASSERT_EQ(server_.posts().size(), 1u);
  const ReceivedPost& post = server_.posts().front();
  EXPECT_EQ(testing::parseFeedbackForm(post.body, post.boundary()),
            expectedForm("BUG", templateOfSection(0), QStringLiteral("<systemProfile suppressed>"),
                         QString(), QStringLiteral("Jane Doe")));
}

TEST_F(FeedbackControllerTest, EnterEmailAddressTurnsContactInfoOnAndWaitsForTheAddress) {
  QvFeedbackController& controller = open();
  controller.includeContactInfoCheckbox()->click();
  ASSERT_FALSE(controller.includeContactInfo());
  controller.sendButton()->click();
  QMessageBox* question = shownSheet(controller.feedbackWindow());
  ASSERT_NE(question, nullptr);

  press(question, QStringLiteral("Enter email address"));
  EXPECT_TRUE(controller.includeContactInfo());
  EXPECT_EQ(controller.feedbackWindow()->focusWidget(), controller.emailAddressComboBox());
  EXPECT_EQ(shownSheet(controller.feedbackWindow()), nullptr);
  EXPECT_TRUE(controller.sendButton()->isEnabled());
  EXPECT_FALSE(controller.textView()->isReadOnly());
  EXPECT_EQ(server_.connections(), 0);

  controller.emailAddressComboBox()->setEditText(QStringLiteral("jane@example.org"));
  EXPECT_EQ(sendAndReceiveForm(controller),
            expectedForm("BUG", templateOfSection(0), QStringLiteral("<systemProfile suppressed>"),
                         QStringLiteral("jane@example.org")));
}

TEST_F(FeedbackControllerTest, DetailsReplaceTheTextAndAreSent) {
  QvFeedbackController& controller = open(QStringLiteral("Crash in scan\nframe 1"));
  EXPECT_EQ(controller.textView()->toPlainText(), QStringLiteral("Crash in scan\nframe 1"));
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  EXPECT_EQ(sendAndReceiveForm(controller),
            expectedForm("BUG", QStringLiteral("Crash in scan\nframe 1"),
                         QStringLiteral("<systemProfile suppressed>"),
                         QStringLiteral("jane@example.org")));
}

TEST_F(FeedbackControllerTest, OnlyOneReporterIsOpenAtATime) {
  QvFeedbackController& first = open();
  QTest::keyClicks(first.textView(), QStringLiteral("kept"));
  QvFeedbackController& second = open();
  EXPECT_EQ(&first, &second);
  EXPECT_TRUE(second.textView()->toPlainText().contains(QStringLiteral("kept")));
}

TEST_F(FeedbackControllerTest, CancelAndClosingTheWindowCloseTheReporterForGood) {
  QPointer<QvFeedbackController> controller = &open();
  QTest::keyClicks(controller->textView(), QStringLiteral("lost"));
  controller->cancelButton()->click();
  EXPECT_EQ(QvFeedbackController::current(), nullptr);
  testing::deleteLaterObjects();
  EXPECT_TRUE(controller.isNull());

  QvFeedbackController& fresh = open();
  EXPECT_EQ(fresh.textView()->toPlainText(), templateOfSection(0));
  controller = &fresh;
  fresh.feedbackWindow()->close();
  EXPECT_EQ(QvFeedbackController::current(), nullptr);
  testing::deleteLaterObjects();
  EXPECT_TRUE(controller.isNull());
  EXPECT_EQ(server_.connections(), 0);
}

TEST_F(FeedbackControllerTest, FailedPostsShowTheFailureSheetAndAreLogged) {
  struct Case {
    const char* name;
    std::optional<FeedbackServer::Answer> answer;  // none: nothing listens
  };
  const Case cases[] = {
      {"refused", std::nullopt},
      {"hang-up", FeedbackServer::Answer::hangUp},
      {"server error", FeedbackServer::Answer::serverError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<FeedbackServer> server;
    if (c.answer) server.emplace(*c.answer);
    setPostURLDefault((server ? server->url() : FeedbackServer::refusingURL()).toString());
    testing::LogCapture log(kLogLevelError);
    QvFeedbackController& controller = open();
    enterContact(controller, QString(), QStringLiteral("jane@example.org"));
    QTest::keyClicks(controller.textView(), QStringLiteral("kept"));

    QMessageBox* sheet = sendAndWaitForOutcome(controller);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), kFailure);
    EXPECT_EQ(sheet->icon(), QMessageBox::Warning);
    EXPECT_EQ(sheet->informativeText(),
              QStringLiteral("There was a problem sending your feedback.  Please try again at "
                             "another time"));
    EXPECT_EQ(buttonLabels(sheet), QStringList{QStringLiteral("OK")});
    EXPECT_FALSE(controller.progress()->isVisible());
    std::vector<std::string> lines =
        log.linesStartingWith("-[QvFeedback connection:didFailWithError:");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines.front().ends_with("]"));
    // Qt sends a post again, once, when the connection drops before an answer.
    if (server) {
      EXPECT_GE(server->posts().size(), 1u);
    }

    press(sheet, QStringLiteral("OK"));
    // The window stays open with what the user wrote, for another try.
    ASSERT_EQ(QvFeedbackController::current(), &controller);
    EXPECT_TRUE(controller.feedbackWindow()->isVisible() && controller.sendButton()->isEnabled());
    EXPECT_FALSE(controller.textView()->isReadOnly());
    EXPECT_TRUE(controller.textView()->toPlainText().contains(QStringLiteral("kept")));
    EXPECT_EQ(controller.emailAddressComboBox()->currentText(), QStringLiteral("jane@example.org"));
    controller.cancelAction();
    testing::deleteLaterObjects();
  }
}

TEST_F(FeedbackControllerTest, InsecureAddressesAreNeverSentTo) {
  struct Case {
    const char* name;
    QString address;
  };
  QUrl tls = server_.url();
  tls.setScheme(QStringLiteral("https"));
  const Case cases[] = {
      // Plain http to anything but the loopback address is refused before connecting.
      {"plain http", QStringLiteral("http://192.0.2.1/feedback")},
      // Our server speaks no TLS, so the handshake, and with it the post, fails.
      {"https without TLS", tls.toString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setPostURLDefault(c.address);
    QvFeedbackController& controller = open();
    enterContact(controller, QString(), QStringLiteral("jane@example.org"));
    QMessageBox* sheet = sendAndWaitForOutcome(controller);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), kFailure);
    EXPECT_TRUE(server_.posts().empty());
    controller.cancelAction();
    testing::deleteLaterObjects();
  }
}

TEST_F(FeedbackControllerTest, AnUntrustedCertificateStopsThePostInTheHandshake) {
  if (!QSslSocket::supportsSsl()) GTEST_SKIP() << "Qt has no TLS backend here";
  testing::UntrustedTlsServer tls;
  setPostURLDefault(tls.url().toString());
  testing::LogCapture log(kLogLevelError);
  QvFeedbackController& controller = open();
  enterContact(controller, QString(), QStringLiteral("jane@example.org"));
  QMessageBox* sheet = sendAndWaitForOutcome(controller);
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->text(), kFailure);
  EXPECT_GE(tls.handshakesStarted(), 1);
  EXPECT_EQ(tls.bytesDecrypted(), 0);
  EXPECT_EQ(log.linesStartingWith("-[QvFeedback connection:didFailWithError:").size(), 1u);

  // The server itself works: a client that waves the certificate through gets its post in.
  QNetworkAccessManager careless;
  std::unique_ptr<QNetworkReply> reply(careless.post(QNetworkRequest(tls.url()), "x=1"));
  reply->ignoreSslErrors();
  ASSERT_TRUE(testing::runUntil([&] { return tls.bytesDecrypted() > 0; }));
}

TEST_F(FeedbackControllerTest, UnreachableHostAsksFirstAndCancelOpensNothing) {
  platform_->reachable = false;
  QvFeedbackController::showFeedbackWithBugDetails(std::nullopt, platform_);
  QMessageBox* alert = shownAlert();
  ASSERT_NE(alert, nullptr);
  FeedbackStrings strings;
  EXPECT_EQ(alert->text(), strings.text(QStringLiteral("Feedback Host Not Reachable")));
  EXPECT_EQ(alert->informativeText(),
            FeedbackStrings::formatted(strings.text(QStringLiteral("Unreachable Explanation")),
                                       {QStringLiteral("127.0.0.1")}));
  EXPECT_EQ(buttonLabels(alert), (QStringList{strings.text(QStringLiteral("Cancel")),
                                              strings.text(QStringLiteral("Proceed Anyway"))}));
  press(alert, strings.text(QStringLiteral("Cancel")));
  testing::deleteLaterObjects();
  EXPECT_EQ(QvFeedbackController::current(), nullptr);
}

TEST_F(FeedbackControllerTest, UnreachableHostProceedAnywayOpensTheReporter) {
  platform_->reachable = false;
  QvFeedbackController::showFeedbackWithBugDetails(QStringLiteral("details"), platform_);
  QMessageBox* alert = shownAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(QvFeedbackController::current(), nullptr);
  press(alert, FeedbackStrings().text(QStringLiteral("Proceed Anyway")));
  ASSERT_NE(QvFeedbackController::current(), nullptr);
  EXPECT_EQ(QvFeedbackController::current()->textView()->toPlainText(), QStringLiteral("details"));
}

TEST_F(FeedbackControllerTest, UserDefaultOverridesTheInformationDictionary) {
  EXPECT_EQ(QvFeedbackController::postURL(), server_.url());
  // An empty default counts as none.
  setPostURLDefault(QString());
  EXPECT_EQ(QvFeedbackController::postURL(), QUrl(info("QvFeedbackURL")));
  removePostURLDefault();
  EXPECT_EQ(QvFeedbackController::postURL(), QUrl(info("QvFeedbackURL")));
  EXPECT_EQ(QvFeedbackController::postURL().scheme(), QStringLiteral("https"));
}

TEST(QvFeedbackControllerURL, OnlyHttpsOrLoopbackHttpIsAllowed) {
  struct Case {
    const char* url;
    bool allowed;
  };
  const Case cases[] = {
      {"https://feedback.twinlens.org/post", true},
      {"https://127.0.0.1:8443/post", true},
      {"http://127.0.0.1:8080/feedback", true},
      {"http://127.1.2.3/feedback", true},
      {"http://[::1]:8080/feedback", true},
      {"http://localhost/feedback", false},
      {"http://feedback.twinlens.org/post", false},
      {"http://192.0.2.1/feedback", false},
      {"ftp://127.0.0.1/feedback", false},
      {"https:///no-host", false},
      {"not a url", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(QvFeedbackController::isAllowedPostURL(QUrl(QString::fromUtf8(c.url))), c.allowed);
  }
}

}  // namespace
}  // namespace twinlens
