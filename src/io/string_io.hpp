#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// A text that may be absent: one presence byte (a BooleanIO value), then, when present, an 8-byte
// big-endian byte count and that many bytes of UTF-8. Texts are taken to be UTF-8 already; a
// text is written only up to its first zero byte.
class StringIO {
 public:
  static void write(std::optional<std::string_view> value, Data& to);
  // Hands the whole encoding to the stream in one write; false with the stream's record.
  [[nodiscard]] static bool write(std::optional<std::string_view> value, BufferedOutputStream& to,
                                  ErrorRecord* error = nullptr);

  // Sets *value to absent, then reads one text. Bytes that are not valid UTF-8 give an absent
  // text and still succeed. Fails with the stream's record: "BufferedInputStreamErrorDomain" -4
  // when the input ends first, "InputStreamErrorDomain" -1 for a length over 2 GiB. Memory grows
  // with the bytes that really arrive, never with the length field alone.
  [[nodiscard]] static bool read(std::optional<std::string>* value, BufferedInputStream& from,
                                 ErrorRecord* error = nullptr);
  // The same as read(); the caller owns the text either way.
  [[nodiscard]] static bool newString(std::optional<std::string>* value, BufferedInputStream& from,
                                      ErrorRecord* error = nullptr) {
    return read(value, from, error);
  }
};

}  // namespace twinlens
