#pragma once

#include <stdexcept>

namespace twinlens {

// Raised for misuse by the calling code (never for bad input): a call off the required thread, an
// impossible node type, a broken internal invariant. The text is the assertion's own.
class ProgrammingError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

}  // namespace twinlens
