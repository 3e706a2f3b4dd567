#pragma once

#include <QString>
#include <QTest>
#include <functional>
#include <ostream>

namespace twinlens::testing {

// Runs the Qt event loop until `done` holds. False when it still does not after a generous
// while, so that a test which waits in vain fails instead of hanging.
inline bool runUntil(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 60000);
}
// Deletes the objects handed to deleteLater, which no event loop of the tests gets round to.
void deleteLaterObjects();

}  // namespace twinlens::testing

// gtest prints QStrings as text in its failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
