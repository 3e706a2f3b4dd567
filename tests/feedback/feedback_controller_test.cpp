#include "app/feedback/qv_feedback_controller.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <atomic>
#include <thread>

#include "feedback_server.hpp"
#include "platform/user_defaults.hpp"
#include "qt_test_support.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using testing::FeedbackServer;
using testing::ReceivedPost;

const QString kSeparator = QStringLiteral("\n\n--\n\n");
const QString kThanks = QStringLiteral("Thank you for your feedback!");
const QString kFailure = QStringLiteral("An Error Occured");
const QString kSuppressed = QStringLiteral("<systemProfile suppressed>");
const QString kProfile = QStringLiteral("Processor: Test CPU\nCores: 4\n");
const QString kJane = QStringLiteral("Jane Doe");
const QString kEmail = QStringLiteral("jane@example.org");

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
    return kProfile;
  }

  bool reachable = true;
  std::optional<OwnCard> card;
  QStringList checkedHosts;
  std::atomic<int> profilesMade{0};
  std::atomic<bool> profileMadeOnMainThread{false};
  const std::thread::id mainThread = std::this_thread::get_id();
};

void setPostURLDefault(const std::optional<QString>& address) {
  UserDefaults defaults(TwinlensApp::infoValue("CFBundleIdentifier").value_or("twinlens"));
  if (address)
    defaults.setString(address->toStdString(), QvFeedbackController::kFeedbackURLKey);
  else
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

// The shown sheet of `window`, or with no window the shown alert that belongs to none; or null.
QMessageBox* shownBox(QWidget* window = nullptr) {
  const QList<QWidget*> widgets =
      window ? window->findChildren<QWidget*>() : QApplication::topLevelWidgets();
  for (QWidget* widget : widgets) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box && box->isVisible() && (window || !box->parentWidget())) return box;
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
    while (QMessageBox* alert = shownBox()) alert->close();
    testing::deleteLaterObjects();
    setPostURLDefault(std::nullopt);
  }

  QvFeedbackController& open(const std::optional<QString>& details = std::nullopt) {
    QvFeedbackController::showFeedbackWithBugDetails(details, platform_);
    EXPECT_TRUE(testing::runUntil([] { return QvFeedbackController::current() != nullptr; }));
    return *QvFeedbackController::current();
  }

  static void closeNow(QvFeedbackController& controller) {
    controller.cancelAction();
    testing::deleteLaterObjects();
  }

  // Presses Send, sees the window locked while sending, and waits for the sheet that tells the
  // outcome.
  static QMessageBox* sendAndWaitForOutcome(QvFeedbackController& controller) {
    QWidget* window = controller.feedbackWindow();
    controller.sendButton()->click();
    EXPECT_FALSE(controller.sendButton()->isEnabled() || controller.cancelButton()->isEnabled() ||
                 controller.segmentedControl()->isEnabled());
    EXPECT_TRUE(controller.textView()->isReadOnly());
    // An address refused before connecting fails at once, with no progress left showing.
    EXPECT_TRUE(shownBox(window) || controller.progress()->isVisible());
    QMessageBox* sheet = nullptr;
    EXPECT_TRUE(testing::runUntil([&] {
      sheet = shownBox(window);
      return sheet && (sheet->text() == kThanks || sheet->text() == kFailure);
    }));
    if (sheet) {
      EXPECT_FALSE(controller.progress()->isVisible());
      EXPECT_EQ(buttonLabels(sheet), QStringList{QStringLiteral("OK")});
    }
    return sheet;
  }

  static void enterContact(QvFeedbackController& controller, const QString& name,
                           const QString& email) {
    controller.nameTextField()->setText(name);
    controller.emailAddressComboBox()->setEditText(email);
  }

  FeedbackServer server_;
  std::shared_ptr<FakePlatform> platform_ = std::make_shared<FakePlatform>();
};

// The last post the server took, a multipart form under a fresh boundary, holds exactly `form`.
void expectLastPost(const FeedbackServer& server, const PostForm& form) {
  ASSERT_FALSE(server.posts().empty());
  const ReceivedPost& post = server.posts().back();
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.target, "/feedback");
  QByteArray boundary = post.boundary();
  const QByteArray prefix = "x-mime-boundary://";
  ASSERT_TRUE(boundary.startsWith(prefix)) << post.headers.value("content-type").toStdString();
  EXPECT_FALSE(QUuid::fromString(QString::fromLatin1(boundary.mid(prefix.size()))).isNull());
  for (const ReceivedPost& earlier : server.posts())
    EXPECT_TRUE(&earlier == &post || earlier.boundary() != boundary);
  EXPECT_EQ(post.headers.value("content-length").toLongLong(), post.body.size());
  EXPECT_EQ(post.body, FormPostRequest::bodyForForm(form, QString::fromLatin1(boundary)));
}

TEST_F(FeedbackControllerTest, OpensOnTheBugSectionWithTheCardAndTheInsertionPointOnLineTwo) {
  platform_->card = OwnCard{kJane, {kEmail, QStringLiteral("jd@example.net")}};
  QvFeedbackController& controller = open();
  EXPECT_TRUE(controller.feedbackWindow()->isVisible());
  QString title = controller.feedbackWindow()->windowTitle();
  EXPECT_EQ(title, FeedbackStrings::formatted(FeedbackStrings().text(QStringLiteral("Title")),
                                              {info("CFBundleName")}));
  EXPECT_TRUE(title.contains(info("CFBundleName"))) << title.toStdString();
  EXPECT_EQ(controller.currentSection(), 0u);
  EXPECT_TRUE(controller.includeContactInfo());
  QString shown = controller.textView()->toPlainText();
  EXPECT_EQ(shown, templateOfSection(0));
  EXPECT_EQ(controller.textView()->textCursor().position(), shown.indexOf(u'\n') + 1);
  EXPECT_EQ(platform_->checkedHosts, QStringList{QStringLiteral("127.0.0.1")});
  EXPECT_EQ(controller.nameTextField()->text(), kJane);
  QComboBox* email = controller.emailAddressComboBox();
  ASSERT_EQ(email->count(), 2);
  EXPECT_EQ(email->itemText(1), QStringLiteral("jd@example.net"));
  EXPECT_EQ(email->currentText(), kEmail);
}

TEST_F(FeedbackControllerTest, ShowFeedbackOpensTheReporterOnTheMachinesOwnServices) {
  QvFeedbackController::showFeedback();
  ASSERT_TRUE(testing::runUntil([] { return QvFeedbackController::current() != nullptr; }));
  EXPECT_TRUE(QvFeedbackController::current()->feedbackWindow()->isVisible());
  EXPECT_EQ(QvFeedbackController::current()->emailAddressComboBox()->count(), 0);
}

TEST_F(FeedbackControllerTest, SendsTheFormOfWhatTheWindowHolds) {
  struct Case {
    const char* name;
    int section;
    const char* typed;
    std::optional<QString> details;
    QString userName;
    bool contactOff;
    bool hardware;
    const char* type;
  };
  const QString details = QStringLiteral("Crash in scan\nframe 1");
  const Case cases[] = {
      {"template alone", 0, "", std::nullopt, kJane, false, false, "BUG"},
      {"no contact info", 0, "", std::nullopt, kJane, true, false, "BUG"},
      {"empty name", 0, "typed here", std::nullopt, QString(), false, false, "BUG"},
      {"feature", 1, "typed here", std::nullopt, QString(), false, false, "FEATURE"},
      {"support", 2, "typed here", std::nullopt, QString(), false, false, "SUPPORT"},
      {"hardware details", 0, "", std::nullopt, QString(), false, true, "BUG"},
      {"bug details", 0, "", details, QString(), false, false, "BUG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QvFeedbackController& controller = open(c.details);
    enterContact(controller, c.userName, kEmail);
    if (c.contactOff) controller.includeContactInfoCheckbox()->click();
    EXPECT_EQ(controller.nameTextField()->isEnabled(), !c.contactOff);
    controller.segmentedControl()->setCurrentIndex(c.section);
    QTest::keyClicks(controller.textView(), QString::fromUtf8(c.typed));
    controller.includeHardwareDetailsCheckbox()->setChecked(c.hardware);
    QString text = controller.textView()->toPlainText();
    if (*c.typed)
      EXPECT_TRUE(text.contains(QString::fromUtf8(c.typed)));
    else
      EXPECT_EQ(text, c.details.value_or(templateOfSection(0)));
    int profiles = platform_->profilesMade;

    QPointer<QvFeedbackController> alive = &controller;
    QMessageBox* sheet = sendAndWaitForOutcome(controller);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), kThanks);
    EXPECT_EQ(sheet->informativeText(), QStringLiteral("Your feedback has been sent."));
    EXPECT_EQ(sheet->icon(), QMessageBox::Information);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    expectLastPost(server_, expectedForm(c.type, text, c.hardware ? kProfile : kSuppressed,
                                         c.contactOff ? QString() : kEmail,
                                         c.contactOff ? QString() : c.userName));
    EXPECT_EQ(platform_->profilesMade, profiles + (c.hardware ? 1 : 0));
    EXPECT_FALSE(platform_->profileMadeOnMainThread);

    press(sheet, QStringLiteral("OK"));
    EXPECT_EQ(QvFeedbackController::current(), nullptr);
    EXPECT_FALSE(controller.feedbackWindow()->isVisible());
    testing::deleteLaterObjects();
    EXPECT_TRUE(alive.isNull());
  }
  EXPECT_EQ(server_.posts().size(), std::size(cases));
}

// Each section keeps its own text; the support section turns contact information on, and
// switching back leaves it on.
TEST_F(FeedbackControllerTest, SectionsKeepTheirTextsAndSupportTurnsContactInfoOn) {
  QvFeedbackController& controller = open();
  controller.includeContactInfoCheckbox()->click();
  ASSERT_FALSE(controller.includeContactInfo());
  QSignalSpy changes(&controller, &QvFeedbackController::includeContactInfoChanged);
  QTest::keyClicks(controller.textView(), QStringLiteral("the bug"));
  QString bugText = controller.textView()->toPlainText();

  controller.segmentedControl()->setCurrentIndex(1);
  EXPECT_EQ(controller.currentSection(), 1u);
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(1));
  EXPECT_FALSE(controller.includeContactInfo());
  QTest::keyClicks(controller.textView(), QStringLiteral("the wish"));
  QString wishText = controller.textView()->toPlainText();

  controller.segmentedControl()->setCurrentIndex(0);
  EXPECT_EQ(controller.textView()->toPlainText(), bugText);
  EXPECT_EQ(controller.textView()->textCursor().position(), bugText.indexOf(u'\n') + 1);
  controller.segmentedControl()->setCurrentIndex(1);
  EXPECT_EQ(controller.textView()->toPlainText(), wishText);
  controller.segmentedControl()->setCurrentIndex(2);
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(2));
  EXPECT_TRUE(controller.includeContactInfo());
  EXPECT_TRUE(controller.property("includeContactInfo").toBool());
  EXPECT_TRUE(controller.includeContactInfoCheckbox()->isChecked());
  EXPECT_TRUE(controller.emailAddressComboBox()->isEnabled());
  // Undo takes back typing, never the section's text itself.
  QTest::keyClicks(controller.textView(), QStringLiteral("help"));
  while (controller.textView()->document()->isUndoAvailable()) controller.textView()->undo();
  EXPECT_EQ(controller.textView()->toPlainText(), templateOfSection(2));
  controller.segmentedControl()->setCurrentIndex(0);
  EXPECT_TRUE(controller.includeContactInfo());
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes.front().front().toBool(), true);
}

// Without an address the reporter asks; "Enter email address" turns contact information on and
// waits, "Continue" sends without it and is never asked again.
TEST_F(FeedbackControllerTest, AnEmptyEmailAsksFirst) {
  QvFeedbackController& controller = open();
  controller.includeContactInfoCheckbox()->click();
  ASSERT_FALSE(controller.includeContactInfo());
  controller.sendButton()->click();
  QMessageBox* question = shownBox(controller.feedbackWindow());
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

  press(question, QStringLiteral("Enter email address"));
  EXPECT_TRUE(controller.includeContactInfo());
  EXPECT_EQ(controller.feedbackWindow()->focusWidget(), controller.emailAddressComboBox());
  EXPECT_EQ(shownBox(controller.feedbackWindow()), nullptr);
  EXPECT_TRUE(controller.sendButton()->isEnabled());
  EXPECT_FALSE(controller.textView()->isReadOnly());
  EXPECT_EQ(server_.connections(), 0);

  controller.nameTextField()->setText(kJane);
  controller.sendButton()->click();
  ASSERT_EQ(shownBox(controller.feedbackWindow()), question);
  press(question, QStringLiteral("Continue"));
  ASSERT_TRUE(testing::runUntil([&] {
    QMessageBox* sheet = shownBox(controller.feedbackWindow());
    return sheet && sheet->text() == kThanks;
  }));
  EXPECT_EQ(shows, 2);
  expectLastPost(server_, expectedForm("BUG", templateOfSection(0), kSuppressed, QString(), kJane));
}

TEST_F(FeedbackControllerTest, OneReporterIsOpenUntilCancelOrClosingEndsItForGood) {
  QPointer<QvFeedbackController> controller = &open();
  QTest::keyClicks(controller->textView(), QStringLiteral("kept"));
  EXPECT_EQ(&open(), controller.data());
  EXPECT_TRUE(controller->textView()->toPlainText().contains(QStringLiteral("kept")));
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
    std::optional<QByteArray> status;  // a server of its own answers so (empty: hangs up)
    QString address;                   // with no server of its own
  };
  const Case cases[] = {
      {"refused", std::nullopt, FeedbackServer::refusingURL().toString()},
      {"hang-up", QByteArray(), {}},
      {"server error", "500 Internal Server Error", {}},
      // Plain http to anything but the loopback address is refused before connecting.
      {"plain http", std::nullopt, QStringLiteral("http://192.0.2.1/feedback")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<FeedbackServer> server;
    if (c.status) server.emplace(*c.status);
    setPostURLDefault(server ? server->url().toString() : c.address);
    testing::LogCapture log(kLogLevelError);
    QvFeedbackController& controller = open();
    enterContact(controller, QString(), kEmail);
    QTest::keyClicks(controller.textView(), QStringLiteral("kept"));

    QMessageBox* sheet = sendAndWaitForOutcome(controller);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->text(), kFailure);
    EXPECT_EQ(sheet->icon(), QMessageBox::Warning);
    EXPECT_EQ(sheet->informativeText(),
              QStringLiteral("There was a problem sending your feedback.  Please try again at "
                             "another time"));
    std::vector<std::string> lines =
        log.linesStartingWith("-[QvFeedback connection:didFailWithError:");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines.front().ends_with("]"));
    // Qt sends a post again, once, when the connection drops before an answer.
    EXPECT_TRUE(!server || !server->posts().empty());
    EXPECT_TRUE(server_.posts().empty());

    press(sheet, QStringLiteral("OK"));
    // The window stays open with what the user wrote, for another try.
    ASSERT_EQ(QvFeedbackController::current(), &controller);
    EXPECT_TRUE(controller.feedbackWindow()->isVisible());
    EXPECT_TRUE(controller.sendButton()->isEnabled() && controller.cancelButton()->isEnabled() &&
                controller.segmentedControl()->isEnabled());
    EXPECT_FALSE(controller.textView()->isReadOnly());
    EXPECT_TRUE(controller.textView()->toPlainText().contains(QStringLiteral("kept")));
    EXPECT_EQ(controller.emailAddressComboBox()->currentText(), kEmail);
    closeNow(controller);
  }
}

TEST_F(FeedbackControllerTest, UnreachableHostAsksFirst) {
  platform_->reachable = false;
  FeedbackStrings strings;
  for (const char* button : {"Cancel", "Proceed Anyway"}) {
    SCOPED_TRACE(button);
    QvFeedbackController::showFeedbackWithBugDetails(QStringLiteral("details"), platform_);
    QMessageBox* alert = shownBox();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(QvFeedbackController::current(), nullptr);
    EXPECT_EQ(alert->text(), strings.text(QStringLiteral("Feedback Host Not Reachable")));
    EXPECT_EQ(alert->informativeText(),
              FeedbackStrings::formatted(strings.text(QStringLiteral("Unreachable Explanation")),
                                         {QStringLiteral("127.0.0.1")}));
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(buttonLabels(alert), (QStringList{strings.text(QStringLiteral("Cancel")),
                                                strings.text(QStringLiteral("Proceed Anyway"))}));
    press(alert, strings.text(QString::fromUtf8(button)));
    testing::deleteLaterObjects();
  }
  // Cancel opened nothing; Proceed Anyway opened the reporter with the details.
  ASSERT_NE(QvFeedbackController::current(), nullptr);
  EXPECT_EQ(QvFeedbackController::current()->textView()->toPlainText(), QStringLiteral("details"));
}

TEST_F(FeedbackControllerTest, UserDefaultOverridesTheInformationDictionary) {
  // An empty default counts as none.
  setPostURLDefault(QString());
  EXPECT_EQ(QvFeedbackController::postURL(), QUrl(info("QvFeedbackURL")));
  setPostURLDefault(std::nullopt);
  EXPECT_EQ(QvFeedbackController::postURL(), QUrl(info("QvFeedbackURL")));
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
