#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/data.hpp"

namespace twinlens {

// Two lower-case hexadecimal digits per byte, in order.
std::string hexStringWithBytes(const std::uint8_t* bytes, std::size_t length);

// The bytes that pairs of hexadecimal digits (either case) stand for; an odd last character is
// ignored, so "abc" gives the one byte AB. A character that is not a hexadecimal digit, or any
// byte outside ASCII, is the caller's mistake: throws ProgrammingError
// "Invalid hex char: not a hex char".
Data hexStringToData(std::string_view text);

}  // namespace twinlens
