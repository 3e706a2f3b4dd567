#pragma once

#include <compare>
#include <string>

namespace twinlens {

// An instant, as seconds (with fraction) relative to 2001-01-01 00:00:00 UTC, the reference date
// of iPhoto's catalogue. Any double is a valid value, so dates read from outside input never
// overflow a conversion.
class Date {
 public:
  // Seconds from 1970-01-01 00:00:00 UTC to the reference date.
  static constexpr double kTimeIntervalBetween1970AndReferenceDate = 978307200.0;

  constexpr Date() = default;
  static constexpr Date withTimeIntervalSinceReferenceDate(double seconds) { return Date(seconds); }
  static constexpr Date withTimeIntervalSince1970(double seconds) {
    return Date(seconds - kTimeIntervalBetween1970AndReferenceDate);
  }
  static Date now();

  constexpr double timeIntervalSinceReferenceDate() const { return seconds_; }
  constexpr double timeIntervalSince1970() const {
    return seconds_ + kTimeIntervalBetween1970AndReferenceDate;
  }

  // "2001-01-01 00:00:00 +0000": the whole second at or before the instant, in UTC.
  std::string description() const;

  constexpr auto operator<=>(const Date&) const = default;

 private:
  constexpr explicit Date(double seconds) : seconds_(seconds) {}

  double seconds_ = 0.0;
};

}  // namespace twinlens
