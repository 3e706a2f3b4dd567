#include "shared/date.hpp"

#include <chrono>
#include <cmath>
#include <ctime>

#include "shared/text_format.hpp"

namespace twinlens {

namespace {
// Beyond this many seconds from 1970 the calendar year leaves what gmtime can express.
constexpr double kLargestCalendarSeconds = 1e15;
}  // namespace

Date Date::now() {
  auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return withTimeIntervalSince1970(std::chrono::duration<double>(sinceEpoch).count());
}

std::string Date::description() const {
  double since1970 = std::floor(timeIntervalSince1970());
  if (!(std::fabs(since1970) < kLargestCalendarSeconds))
    return formatText("%f seconds since 2001-01-01 00:00:00 +0000", seconds_);
  std::time_t whole = static_cast<std::time_t>(since1970);
  std::tm utc{};
  if (!::gmtime_r(&whole, &utc))
    return formatText("%f seconds since 2001-01-01 00:00:00 +0000", seconds_);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return text;
}

}  // namespace twinlens
