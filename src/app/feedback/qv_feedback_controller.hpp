#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QUrl>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/feedback/feedback_platform.hpp"
#include "app/feedback/feedback_strings.hpp"
#include "app/feedback/form_post_request.hpp"

namespace twinlens {

// The feedback reporter: a window in which the user writes a bug report, a feature request or a
// support request, posted to the feedback server as a multipart form. At most one exists at a
// time; it is made by showFeedbackWithBugDetails and destroys itself (deleteLater) when it closes,
// so callers hold it only as a QPointer or through current(). Main thread only.
class QvFeedbackController : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool includeContactInfo READ includeContactInfo WRITE setIncludeContactInfo NOTIFY
                 includeContactInfoChanged)

  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // The texts sent as "feedbackType" for the sections 0, 1 and 2.
  static constexpr std::array<const char*, 3> kFeedbackTypes = {"BUG", "FEATURE", "SUPPORT"};
  static constexpr const char* kSuppressedProfile = "<systemProfile suppressed>";
  static constexpr const char* kFeedbackURLKey = "QvFeedbackURL";

  // What the application's feedback action calls: showFeedbackWithBugDetails with no details.
  static void showFeedback();
  // Checks that the server's host can be reached (offering to go on when it cannot), then shows
  // the one feedback window, making it first if none is open, centred on the screen; `details`,
  // when given, replace the text. The window may appear only after this returns. `platform`
  // stands for the machine's services; null means LinuxFeedbackPlatform.
  static void showFeedbackWithBugDetails(const std::optional<QString>& details,
                                         std::shared_ptr<FeedbackPlatform> platform = nullptr);
  // The user default "QvFeedbackURL" of the application's domain when it is set and not empty,
  // else the information dictionary's. Throws ProgrammingError "QvFeedbackURL not defined"
  // when neither has one.
  static QUrl postURL();
  // Whether feedback may go to `url`: https (whose certificates are checked), or plain http to a
  // literal loopback address, which never leaves the machine.
  static bool isAllowedPostURL(const QUrl& url);
  // The open reporter, or null.
  static QvFeedbackController* current();

  // Made only by showFeedbackWithBugDetails: builds the window from the "QvFeedbackProvider"
  // resources and loads it (sections, title, the user's card); contact information is included.
  QvFeedbackController(ConstructionKey, std::shared_ptr<FeedbackPlatform> platform);
  ~QvFeedbackController() override;
  QvFeedbackController(const QvFeedbackController&) = delete;
  QvFeedbackController& operator=(const QvFeedbackController&) = delete;

  // Whether the name and e-mail address are sent. Changes are announced by
  // includeContactInfoChanged and shown by the window's contact check box.
  bool includeContactInfo() const { return includeContactInfo_; }
  void setIncludeContactInfo(bool flag);
  // Replaces the text view's content with `text`.
  void setTextViewStringTo(const QString& text);
  std::uint32_t currentSection() const { return currentSection_; }

  // The actions of the segmented control, the send button and the cancel button.
  void switchSectionAction();
  void submitAction();
  void cancelAction();

  // The window and its controls, for the application and its tests.
  QWidget* feedbackWindow() { return &feedbackWindow_; }
  QTextEdit* textView() { return &textView_; }
  QCheckBox* includeHardwareDetailsCheckbox() { return &includeHardwareDetailsCheckbox_; }
  QCheckBox* includeContactInfoCheckbox() { return &includeContactInfoCheckbox_; }
  QLineEdit* nameTextField() { return &nameTextField_; }
  QComboBox* emailAddressComboBox() { return &emailAddressComboBox_; }
  QProgressBar* progress() { return &progress_; }
  QTabBar* segmentedControl() { return &segmentedControl_; }
  QPushButton* cancelButton() { return &cancelButton_; }
  QPushButton* sendButton() { return &sendButton_; }

 signals:
  void includeContactInfoChanged(bool includeContactInfo);

 protected:
  // Turns the window's close event into windowWillClose.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static void openFeedbackWindow(const std::optional<QString>& details,
                                 std::shared_ptr<FeedbackPlatform> platform);
  static void showUnreachableAlert(const QString& host, const std::optional<QString>& details,
                                   std::shared_ptr<FeedbackPlatform> platform);

  void buildWindow();
  void labelControls();
  void layOutControls();
  void buildNoEmailAlert();
  void connectControls();
  void windowDidLoad();
  // Keeps the text view's content, cut at the separators, as the three sections' texts.
  void cutSections();
  void showCentred();
  void showSection(std::uint32_t section);
  void keepCurrentSectionText();
  void showNoEmailAlert();
  void noEmailAlertDidEnd(QAbstractButton* clicked);
  void postFeedback(const QString& systemProfile);
  PostForm feedbackForm(const QString& systemProfile) const;
  void connectionDidFinishLoading();
  void connectionDidFailWithError(const QString& error);
  void showOutcomeSheet(const QString& message, const QString& informativeText, bool sent);
  // Closes the reporter after a post that went through; after a failure the window is open
  // again, with what the user wrote, for another try.
  void alertDidEnd(bool sent);
  void windowWillClose();
  void closeFeedback();

  std::shared_ptr<FeedbackPlatform> platform_;
  FeedbackStrings strings_;

  // The window comes first so that its controls, declared after it, are destroyed before it.
  QWidget feedbackWindow_;
  QGridLayout layout_{&feedbackWindow_};
  QTabBar segmentedControl_;
  QTextEdit textView_;
  QCheckBox includeContactInfoCheckbox_;
  QLabel nameLabel_;
  QLineEdit nameTextField_;
  QLabel emailLabel_;
  QComboBox emailAddressComboBox_;
  QCheckBox includeHardwareDetailsCheckbox_;
  QWidget buttonRow_;
  QHBoxLayout buttonRowLayout_{&buttonRow_};
  QProgressBar progress_;
  QPushButton cancelButton_;
  QPushButton sendButton_;
  QMessageBox noEmailAlert_{&feedbackWindow_};
  QPushButton* continueButton_ = nullptr;  // owned by noEmailAlert_
  std::unique_ptr<QMessageBox> outcomeSheet_;
  QNetworkAccessManager network_;
  QPointer<QNetworkReply> reply_;

  std::array<QTextDocumentFragment, 3> sectionStrings_;
  std::uint32_t currentSection_ = 0;
  bool includeContactInfo_ = true;
  bool ignoreEmptyEmailAddress_ = false;
};

}  // namespace twinlens
