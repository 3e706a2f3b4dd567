#pragma once

#include <cstdint>
#include <string>

#include "shared/text_format.hpp"

namespace twinlens {

// The number grouping separator of the user's locale ("," in English).
std::string localeGroupingSeparator();

// groupedDigits() with the locale's separator.
std::string groupedCount(std::uint64_t count);

}  // namespace twinlens
