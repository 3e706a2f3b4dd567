#include "app/sheets/alert_style.hpp"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>

namespace twinlens {

namespace {

constexpr const char* kRemoverName = "tl_indentRemover";

// QMessageBox keeps a fixed indent where the icon would be even when it has none, and lays
// itself out anew on every change of icon or text; so the indent is taken out just before the
// box first shows.
class IndentRemover : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (event->type() != QEvent::Show || !box || box->icon() != QMessageBox::NoIcon) return false;
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return false;
    for (int i = 0; i < grid->count(); ++i)
      if (QSpacerItem* indent = grid->itemAt(i)->spacerItem()) indent->changeSize(0, 0);
    grid->setHorizontalSpacing(0);
    return false;
  }
};

}  // namespace

void setAlertKind(QMessageBox& box, AlertKind kind) {
  box.setIcon(kind == AlertKind::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (box.findChild<QObject*>(kRemoverName, Qt::FindDirectChildrenOnly)) return;
  auto* remover = new IndentRemover(&box);
  remover->setObjectName(kRemoverName);
  box.installEventFilter(remover);
}

void makeAlertTextSelectable(QMessageBox& box) {
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  for (QLabel* label : box.findChildren<QLabel*>("qt_msgbox_informativelabel"))
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

}  // namespace twinlens
