#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/script_host.hpp"

namespace twinlens::testing {

// A script host that records every text it is given and answers as the test tells it (by
// default success with a null result). Put in place as the standard host for its lifetime.
class FakeScriptHost final : public ScriptHost {
 public:
  using Answer = std::function<ScriptOutcome(std::string_view source)>;

  ScriptOutcome executeSource(std::string_view source) override {
    Answer answer;
    {
      std::lock_guard lock(mutex_);
      texts_.emplace_back(source);
      answer = answer_;
    }
    return answer ? answer(source) : ScriptOutcome::success(AppleEventDescriptor::null());
  }

  void answerWith(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }
  void failWith(std::int64_t number, const std::string& message) {
    answerWith([=](std::string_view) { return ScriptOutcome::failure(number, message); });
  }
  std::vector<std::string> texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  Answer answer_;
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

// Installs a fresh FakeScriptHost as ScriptHost::standard() and puts the previous one back after.
class ScopedFakeScriptHost {
 public:
  ScopedFakeScriptHost()
      : host_(std::make_shared<FakeScriptHost>()), previous_(ScriptHost::setStandard(host_)) {}
  ~ScopedFakeScriptHost() { ScriptHost::setStandard(previous_); }
  ScopedFakeScriptHost(const ScopedFakeScriptHost&) = delete;
  ScopedFakeScriptHost& operator=(const ScopedFakeScriptHost&) = delete;

  FakeScriptHost& operator*() const { return *host_; }
  FakeScriptHost* operator->() const { return host_.get(); }

 private:
  std::shared_ptr<FakeScriptHost> host_;
  std::shared_ptr<ScriptHost> previous_;
};

}  // namespace twinlens::testing
