#pragma once

#include <optional>
#include <string>

#include "io/buffered_input_stream.hpp"

namespace twinlens {

class InputStreams {
 public:
  // Everything up to the end of the stream (an empty block for an empty stream), or nullopt when a
  // read fails.
  static std::optional<Data> slurp(InputStream& stream, ErrorRecord* error = nullptr);
  // The bytes before the next line feed as UTF-8 (a carriage return is kept); the line feed is
  // consumed. nullopt when the stream ends or fails first.
  static std::optional<std::string> readLine(BufferedInputStream& stream,
                                             ErrorRecord* error = nullptr);
  // A line up to and including CR LF, of at most maxLength bytes; "InputStreamErrorDomain" -1 when
  // maxLength bytes pass without CR LF.
  static std::optional<std::string> readLineWithCRLF(BufferedInputStream& stream,
                                                     std::uint64_t maxLength,
                                                     ErrorRecord* error = nullptr);
};

}  // namespace twinlens
