#include "platform/apple_script_failure.hpp"

#include <charconv>
#include <cmath>

#include "shared/text_format.hpp"

namespace twinlens {

namespace {

std::int64_t numberOf(const PListValue* value) {
  if (!value) return 0;
  if (std::optional<std::int64_t> integer = value->integerValue()) return *integer;
  std::optional<double> real = value->realValue();
  // A real only when it lies inside the 64-bit range; a host never sends one, but the cast of
  // anything outside would be undefined.
  if (real && std::fabs(*real) < 9.2e18) return static_cast<std::int64_t>(*real);
  return 0;
}

std::string printed(const PListValue* value) {
  if (!value) return "(null)";
  if (const std::string* text = value->textValue()) return *text;
  if (std::optional<std::int64_t> integer = value->integerValue())
    return formatText("%lld", static_cast<long long>(*integer));
  if (std::optional<double> real = value->realValue()) {
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, *real).ptr);
  }
  if (std::optional<bool> flag = value->booleanValue()) return *flag ? "1" : "0";
  return "(null)";
}

}  // namespace

AppleScriptFailure AppleScriptFailure::of(const ScriptOutcome& outcome) {
  auto entry = [&outcome](const char* key) -> const PListValue* {
    auto found = outcome.errorInfo.find(key);
    return found == outcome.errorInfo.end() ? nullptr : &found->second;
  };
  const PListValue* number = entry(kAppleScriptErrorNumberKey);
  const PListValue* message = entry(kAppleScriptErrorMessageKey);
  return AppleScriptFailure{numberOf(number), printed(number),
                            message && message->textValue() ? *message->textValue() : "(null)"};
}

}  // namespace twinlens
