#pragma once

#include <cstdarg>
#include <string>

namespace twinlens {

// printf-style formatting into a std::string; "%@" texts are passed as "%s" with c_str().
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// The platform's default text for an object: "<ClassName: 0x...>".
std::string defaultDescription(const char* className, const void* object);

// The text form of a value that may be absent: absent prints as "(null)".
inline const char* textOrNull(const std::string* text) {
  return text ? text->c_str() : "(null)";
}

}  // namespace twinlens
