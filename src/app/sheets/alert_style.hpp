#pragma once

#include <QMessageBox>

namespace twinlens {

// What an alert tells, which decides its icon: every alert of the application goes through here.
enum class AlertKind {
  Information,  // no icon, and the text starts at the margin
  Warning,      // a failure, or a question whose answer can lose work
};

// Gives `box` the icon of its kind. Works whenever it is called before the box is shown, also
// before its texts are set.
void setAlertKind(QMessageBox& box, AlertKind kind);

// Lets the user select and copy the alert's texts, such as an address to open by hand; call it
// after the texts are set.
void makeAlertTextSelectable(QMessageBox& box);

}  // namespace twinlens
