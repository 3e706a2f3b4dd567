#include "app/sheets/script_runner_sheet.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/sheets/activity_indicator.hpp"

namespace twinlens {

namespace {
constexpr int kProgressSteps = 1000;
}

ScriptRunnerSheet::ScriptRunnerSheet(QWidget* mainWindow, std::weak_ptr<ScriptRunner> runner)
    : QDialog(mainWindow),
      runner_(std::move(runner)),
      message_(new QLabel(this)),
      warning_(new QLabel(this)),
      progressBar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(tr("Cancel"), this)),
      indicator_(new ActivityIndicator(this)) {
  setObjectName("scriptRunnerSheet");
  setWindowModality(Qt::WindowModal);
  setWindowTitle(tr("Moving"));
  setMinimumWidth(440);
  QFont bold = message_->font();
  bold.setBold(true);
  message_->setFont(bold);
  QPalette warningPalette = warning_->palette();
  warningPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x20, 0x20));
  warning_->setPalette(warningPalette);
  warning_->setWordWrap(true);
  progressBar_->setRange(0, kProgressSteps);
  progressBar_->setTextVisible(false);
  cancelButton_->setAutoDefault(false);
  connect(cancelButton_, &QPushButton::clicked, this, [this] {
    cancelButton_->setEnabled(false);
    if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) runner->cancel();
  });

  auto* top = new QHBoxLayout;
  top->addWidget(message_, 1);
  top->addWidget(indicator_);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(warning_);
  layout->addWidget(progressBar_);
  layout->addLayout(bottom);
}

void ScriptRunnerSheet::runnerDidChange(std::string_view) {
  if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) refresh(*runner);
}

void ScriptRunnerSheet::refresh(const ScriptRunner& runner) {
  message_->setText(QString::fromStdString(runner.message()));
  warning_->setText(QString::fromStdString(runner.warning()));
  warning_->setVisible(!runner.hideWarning());
  progressBar_->setValue(static_cast<int>(runner.progress() * kProgressSteps));
  cancelButton_->setEnabled(runner.cancelable() && !runner.abortRequested());
}

void ScriptRunnerSheet::showScriptRunnerSheet() {
  if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) refresh(*runner);
  open();
  indicator_->startAnimation();
}

void ScriptRunnerSheet::endScriptRunnerSheet() {
  indicator_->stopAnimation();
  done(QDialog::Accepted);
}

void ScriptRunnerSheet::reject() {
  if (cancelButton_->isEnabled()) cancelButton_->click();
}

}  // namespace twinlens
