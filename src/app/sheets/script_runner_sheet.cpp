#include "app/sheets/script_runner_sheet.hpp"

#include <QLabel>
#include <QPushButton>

namespace twinlens {

ScriptRunnerSheet::ScriptRunnerSheet(QWidget* mainWindow, std::weak_ptr<ScriptRunner> runner)
    : ProgressSheet(mainWindow, "scriptRunnerSheet", tr("Moving"), 440, DetailPlace::UnderHeadline),
      runner_(std::move(runner)) {
  QLabel* warning = warningLabel();
  QPalette warningPalette = warning->palette();
  warningPalette.setColor(QPalette::WindowText, QColor(0xb0, 0x20, 0x20));
  warning->setPalette(warningPalette);
  warning->setWordWrap(true);
}

void ScriptRunnerSheet::runnerDidChange(std::string_view) {
  if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) refresh(*runner);
}

void ScriptRunnerSheet::refresh(const ScriptRunner& runner) {
  messageLabel()->setText(QString::fromStdString(runner.message()));
  warningLabel()->setText(QString::fromStdString(runner.warning()));
  warningLabel()->setVisible(!runner.hideWarning());
  setFraction(runner.progress());
  cancelButton()->setEnabled(runner.cancelable() && !runner.abortRequested());
}

void ScriptRunnerSheet::showScriptRunnerSheet() {
  if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) refresh(*runner);
  openSheet();
}

void ScriptRunnerSheet::endScriptRunnerSheet() {
  endSheet();
}

void ScriptRunnerSheet::cancelWork() {
  if (std::shared_ptr<ScriptRunner> runner = runner_.lock()) runner->cancel();
}

}  // namespace twinlens
