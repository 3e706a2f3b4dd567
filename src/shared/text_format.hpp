#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace twinlens {

// printf-style formatting into a std::string; "%@" texts are passed as "%s" with c_str().
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// A count as the number pattern "###,###,###" writes it: taken as an unsigned 32-bit value,
// digits grouped by threes with `separator`.
std::string groupedDigits(std::uint64_t count, std::string_view separator);

// "" for one, "s" for any other count (zero included), the count taken as an unsigned 32-bit
// value.
inline const char* pluralSuffix(std::uint64_t count) {
  return static_cast<std::uint32_t>(count) == 1 ? "" : "s";
}

// The platform's default text for an object: "<ClassName: 0x...>".
std::string defaultDescription(const char* className, const void* object);

// The text form of a value that may be absent: absent prints as "(null)".
inline const char* textOrNull(const std::string* text) {
  return text ? text->c_str() : "(null)";
}

}  // namespace twinlens
