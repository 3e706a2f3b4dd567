#include "app/browser/thumbnail_placeholder.hpp"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>

namespace twinlens {

QString photoFileType(const std::optional<std::string>& path) {
  if (!path) return {};
  QString suffix = QFileInfo(QString::fromStdString(*path)).suffix().toUpper();
  if (suffix == "JPG" || suffix == "JPE") return "JPEG";
  if (suffix == "TIF") return "TIFF";
  return suffix;
}

void paintThumbnailPlaceholder(QPainter& painter, const QRect& square, const QString& fileType,
                               const QPalette& palette) {
  QRect frame(0, 0, square.width(), square.width() * 3 / 4);
  frame.moveCenter(square.center());
  painter.save();
  painter.setPen(QPen(palette.color(QPalette::Mid), 1));
  painter.setBrush(palette.color(QPalette::Base));
  painter.drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  QFont bold = painter.font();
  bold.setBold(true);
  // Small enough for "No preview" to fit the smallest cells whole.
  QFont plain = painter.font();
  if (plain.pointSizeF() > 0) plain.setPointSizeF(plain.pointSizeF() * 0.85);
  int lineHeight = QFontMetrics(bold).height();
  // One line centred, or the file type just above the centre and "No preview" just below.
  QRect line(frame.left() + 2, frame.center().y() - lineHeight / 2, frame.width() - 4, lineHeight);
  painter.setPen(palette.color(QPalette::PlaceholderText));
  if (!fileType.isEmpty()) {
    line.translate(0, -lineHeight / 2);
    painter.setFont(bold);
    painter.drawText(line, Qt::AlignCenter,
                     QFontMetrics(bold).elidedText(fileType, Qt::ElideRight, line.width()));
    line.translate(0, lineHeight);
  }
  painter.setFont(plain);
  painter.drawText(
      line, Qt::AlignCenter,
      QFontMetrics(plain).elidedText(QObject::tr("No preview"), Qt::ElideRight, line.width()));
  painter.restore();
}

}  // namespace twinlens
