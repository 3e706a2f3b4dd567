#pragma once

#include <string>

namespace twinlens {

// Facts about the user running the process. Stateless.
class User {
 public:
  // The folder for the application's own data: $XDG_DATA_HOME when it is set to an absolute
  // path, else $HOME/.local/share (the home folder from the password database when $HOME is
  // unset or empty; "/" when there is none at all). Nothing is created.
  static std::string applicationSupportPath();
  // The folder for the user's configuration: $XDG_CONFIG_HOME when it is set to an absolute path,
  // else $HOME/.config (the home folder found as above). Nothing is created.
  static std::string configurationPath();
};

}  // namespace twinlens
