#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shared/data.hpp"

namespace twinlens {

// Standard base64 (RFC 4648) without line breaks.
std::string base64Encode(const Data& bytes);
// Decodes base64 text, skipping white space (property lists wrap it over lines); nullopt for
// any other character outside the alphabet or a malformed ending.
std::optional<Data> base64Decode(std::string_view text);

}  // namespace twinlens
