#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace twinlens {

// The user's own entry in the machine's directory of people.
struct OwnCard {
  QString name;                // as the name field shows it
  QStringList emailAddresses;  // in the entry's order
};

// What the feedback reporter asks of the machine: whether the server can be reached, who the
// user is and what the machine is. LinuxFeedbackPlatform is the real one; tests put in their own.
class FeedbackPlatform {
 public:
  virtual ~FeedbackPlatform() = default;

  // Main thread. Finds out whether `host` can be reached and calls `done` with the answer on
  // the main thread, at once or later.
  virtual void checkReachability(const QString& host, std::function<void(bool reachable)> done) = 0;
  // Main thread. The user's own card, or nullopt when there is none.
  virtual std::optional<OwnCard> ownCard() = 0;
  // A short text about the hardware and system; whatever could be found out, possibly empty.
  // Slow, so it is called on a worker thread; it must touch nothing of the caller's.
  virtual QString machineProfile() = 0;
};

}  // namespace twinlens
