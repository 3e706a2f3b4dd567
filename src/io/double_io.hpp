#pragma once

#include <string>

#include "io/buffered_input_stream.hpp"
#include "io/buffered_output_stream.hpp"
#include "shared/data.hpp"

namespace twinlens {

// A double as a StringIO text in the C "%f" form: optional minus sign, integer digits, a point and
// exactly six decimals ("inf", "nan" and their negatives for values without digits). Writing and
// reading ignore the process locale, so a German locale still writes 1.500000.
class DoubleIO {
 public:
  static void write(double value, Data& to);
  [[nodiscard]] static bool write(double value, BufferedOutputStream& to,
                                  ErrorRecord* error = nullptr);

  // Sets *value to 0.0 and clears *error, then reads a text and takes the number at its start as
  // strtod does in the C locale (leading white space skipped, the rest ignored, 0.0 when no number
  // begins the text). Fails with the stream's record, or with "DoubleIOErrorDomain" -1
  // "nil string; expected a double" for an absent text.
  [[nodiscard]] static bool read(double* value, BufferedInputStream& from,
                                 ErrorRecord* error = nullptr);

  // The "%f" text of a value, and the strtod reading of a text, both in the C locale.
  static std::string format(double value);
  static double parse(const std::string& text);

  static const char* errorDomain() { return "DoubleIOErrorDomain"; }
  // Its one code: an absent text where a double was expected.
  static constexpr std::int32_t kNoTextError = -1;
};

}  // namespace twinlens
