#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace twinlens {

// Two lower-case hexadecimal digits per byte, in order.
std::string hexStringWithBytes(const std::uint8_t* bytes, std::size_t length);

}  // namespace twinlens
