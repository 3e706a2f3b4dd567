#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/script_host.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::testing {

// Gives a test its own socket folder and application search path through the environment, and
// puts every variable it changed back afterwards.
class ScriptingEnvironment {
 public:
  ScriptingEnvironment() {
    set("XDG_RUNTIME_DIR", runtime_.path());
    set("TWINLENS_APPLICATIONS_PATH", applications_.path());
    unset("TWINLENS_SCRIPT_TIMEOUT");
  }
  ~ScriptingEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  ScriptingEnvironment(const ScriptingEnvironment&) = delete;
  ScriptingEnvironment& operator=(const ScriptingEnvironment&) = delete;

  void set(const std::string& name, const std::string& value) {
    save(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  void unset(const std::string& name) {
    save(name);
    ::unsetenv(name.c_str());
  }

  const std::string& runtimeFolder() const { return runtime_.path(); }
  std::string socketFolder() const { return runtime_.path() + "/twinlens-scripting"; }
  const TempDir& applications() const { return applications_; }

 private:
  void save(const std::string& name) {
    if (saved_.count(name)) return;
    const char* value = std::getenv(name.c_str());
    saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }

  TempDir runtime_;
  TempDir applications_;
  std::map<std::string, std::optional<std::string>> saved_;
};

// The error number and message of a failed script, 0 and "" when it has none.
inline std::int64_t errorNumber(const ScriptOutcome& outcome) {
  const auto entry = outcome.errorInfo.find(kAppleScriptErrorNumberKey);
  return entry == outcome.errorInfo.end() ? 0 : entry->second.integerValue().value_or(0);
}
inline std::string errorMessage(const ScriptOutcome& outcome) {
  const auto entry = outcome.errorInfo.find(kAppleScriptErrorMessageKey);
  return entry == outcome.errorInfo.end() ? "" : *entry->second.textValue();
}

}  // namespace twinlens::testing
