#pragma once

#include <cstddef>
#include <string_view>

namespace twinlens {

// What decodeUTF8 gives where the bytes begin no well-formed sequence.
inline constexpr char32_t kNotUTF8 = 0xFFFFFFFF;

// The length of the well-formed UTF-8 sequence at text[at] (no overlong form, no surrogate,
// nothing above U+10FFFF, not cut off by the end of `text`), 0 where none begins.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// The scalar value of the sequence at text[at] with its length in *length; kNotUTF8 and a length
// of 1 where none begins, so a caller replacing bad bytes moves on by one byte.
char32_t decodeUTF8(std::string_view text, std::size_t at, std::size_t* length);

// True when all of `bytes` is well-formed UTF-8; fast over ASCII, which most texts are.
bool isValidUTF8(std::string_view bytes);

}  // namespace twinlens
