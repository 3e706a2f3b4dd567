#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace twinlens {

// The words of the feedback reporter, from the library's "QvFeedbackProvider" resources: the
// string table its alerts look their texts up in, the labels of the window's controls and the
// three section templates. A value type; main thread (it is made from Qt resources).
class FeedbackStrings {
 public:
  // Loads the resources; a missing or damaged resource leaves its texts empty.
  FeedbackStrings();

  // The string table's text for `key`, or the key itself when the table has none.
  QString text(const QString& key) const;
  // The window's label for `key` ("name", "send", ...); empty when there is none.
  QString label(const QString& key) const;
  // The labels of the three sections, in order.
  const QStringList& segmentLabels() const { return segmentLabels_; }
  // The text view's starting content: the three templates separated by "\n\n--\n\n".
  const QString& sectionTemplates() const { return sectionTemplates_; }

  // `format` with each "%@" replaced by the next of `arguments` (an empty text once they run
  // out) and each "%%" by "%".
  static QString formatted(const QString& format, const QStringList& arguments);

 private:
  QHash<QString, QString> table_;
  QHash<QString, QString> labels_;
  QStringList segmentLabels_;
  QString sectionTemplates_;
};

}  // namespace twinlens
