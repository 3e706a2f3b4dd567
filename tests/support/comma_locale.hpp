#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

#include "support/temp_dir.hpp"

namespace twinlens::testing {

// Switches the process to a German locale (a comma before the decimals), building it into `dir`
// when the system has none so the test does not depend on what the machine has installed; false
// when that fails too. The caller puts "C" back.
inline bool selectCommaLocale(const TempDir& dir) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8")) return true;
  std::string command =
      "localedef -i de_DE -f UTF-8 '" + dir.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  ::setenv("LOCPATH", dir.path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

}  // namespace twinlens::testing
