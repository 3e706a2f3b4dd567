#pragma once

#include <optional>
#include <string_view>

#include "app/feedback/feedback_platform.hpp"

namespace twinlens {

// The feedback reporter's services on Linux: a host-name lookup for reachability, the password
// database for the user's card and uname with /proc for the machine profile.
class LinuxFeedbackPlatform : public FeedbackPlatform {
 public:
  // Reachable when the host name resolves to at least one address; an empty name never does.
  void checkReachability(const QString& host, std::function<void(bool reachable)> done) override;
  // The full name of the password database's entry for the real user; no e-mail addresses, for
  // the database keeps none. Nullopt when there is no entry or it has no name.
  std::optional<OwnCard> ownCard() override;
  // MachineProfile::textFromSources over /etc/os-release, `uname -srvmo`, /proc/cpuinfo and
  // /proc/meminfo. Any thread.
  QString machineProfile() override;

  // The full name in a password entry's comment field: the text up to the first comma, with the
  // surrounding blanks removed; nullopt when that is empty.
  static std::optional<QString> fullNameFromGecos(std::string_view gecos);
};

}  // namespace twinlens
