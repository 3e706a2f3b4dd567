#pragma once

#include <QPalette>
#include <QRect>
#include <QString>
#include <optional>
#include <string>

class QPainter;

namespace twinlens {

// The photo's file type as people name it ("JPEG", "TIFF", "PNG", "CR2"), from the extension of
// its path; empty when the path has none.
QString photoFileType(const std::optional<std::string>& path);

// What the browser shows for an item whose thumbnail is missing or unreadable: a neutral frame
// the shape of a landscape photo, centred in `square`, holding the file type and "No preview".
void paintThumbnailPlaceholder(QPainter& painter, const QRect& square, const QString& fileType,
                               const QPalette& palette);

}  // namespace twinlens
