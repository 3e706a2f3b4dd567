#include "io/date_io.hpp"

#include <cmath>
#include <limits>

#include "io/boolean_io.hpp"
#include "io/integer_io.hpp"

namespace twinlens {

namespace {

// A date far outside the 64-bit millisecond range is held at its end instead of overflowing the
// conversion; NaN, which has no place in that range, becomes 0.
std::int64_t millisecondsSince1970(const Date& date) {
  double ms = std::trunc(date.timeIntervalSince1970() * 1000.0);
  if (std::isnan(ms)) return 0;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (ms >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
  if (ms < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(ms);
}

}  // namespace

void DateIO::write(const std::optional<Date>& value, Data& to) {
  BooleanIO::write(value.has_value(), to);
  if (value) IntegerIO::writeInt64(millisecondsSince1970(*value), to);
}

bool DateIO::write(const std::optional<Date>& value, BufferedOutputStream& to, ErrorRecord* error) {
  if (!BooleanIO::write(value.has_value(), to, error)) return false;
  return !value || IntegerIO::writeInt64(millisecondsSince1970(*value), to, error);
}

bool DateIO::read(std::optional<Date>* value, BufferedInputStream& from, ErrorRecord* error) {
  value->reset();
  bool present;
  if (!BooleanIO::read(&present, from, error)) return false;
  if (!present) return true;
  std::int64_t ms;
  if (!IntegerIO::readInt64(&ms, from, error)) return false;
  *value = Date::withTimeIntervalSince1970(static_cast<double>(ms) / 1000.0);
  return true;
}

}  // namespace twinlens
