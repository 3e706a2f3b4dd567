#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace twinlens {

// Reads the number at the start of a text the way property-list readers want it: leading white
// space and line breaks are skipped, whatever follows the number is ignored, and the decimal
// separator is a point whatever the process locale says. nullopt when no number begins the text.
// The one reader of numbers in text for both property-list models and the tools.

// An optional sign and a run of decimal digits; beyond the 64-bit range the value saturates at
// the largest or smallest 64-bit value.
std::optional<std::int64_t> scanLongLong(std::string_view text);

// The same, clamped to the 32-bit range.
std::optional<std::int32_t> scanInt(std::string_view text);

// An optional sign, digits with an optional fraction after a point (".5" and "5." included) and an
// optional exponent; also "inf", "infinity" and "nan" in any letter case, which is how a non-finite
// value comes out of "%f". Too large gives plus or minus infinity; too small gives 0 or the nearest
// subnormal.
std::optional<double> scanDouble(std::string_view text);
// The same without the words: only the decimal form, as a catalogue text's numeric value reads.
std::optional<double> scanDecimal(std::string_view text);

}  // namespace twinlens
