#include "shared/text_format.hpp"

#include <cstdio>

namespace twinlens {

std::string formatTextV(const char* format, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string out(static_cast<size_t>(needed), '\0');
  std::vsnprintf(out.data(), out.size() + 1, format, args);
  return out;
}

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = formatTextV(format, args);
  va_end(args);
  return out;
}

std::string groupedDigits(std::uint64_t count, std::string_view separator) {
  std::string digits = std::to_string(static_cast<std::uint32_t>(count));
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.append(separator);
    grouped += digits[i];
  }
  return grouped;
}

std::string defaultDescription(const char* className, const void* object) {
  return formatText("<%s: %p>", className, object);
}

}  // namespace twinlens
