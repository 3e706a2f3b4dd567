#pragma once

#include <cstdint>
#include <string>

namespace twinlens {

// The number grouping separator of the user's locale ("," in English).
std::string localeGroupingSeparator();

// A count as the number pattern "###,###,###" writes it: taken as an unsigned 32-bit value,
// digits grouped by threes with the locale's separator.
std::string groupedCount(std::uint64_t count);

// "" for one, "s" for any other count (zero included).
inline const char* pluralSuffix(std::uint64_t count) {
  return static_cast<std::uint32_t>(count) == 1 ? "" : "s";
}

}  // namespace twinlens
