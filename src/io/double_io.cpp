#include "io/double_io.hpp"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <typeinfo>

#include "io/string_io.hpp"

namespace twinlens {

namespace {

// Room for the longest "%f" text: 309 integer digits, sign, point and six decimals.
constexpr std::size_t kLongestText = 330;

locale_t cLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

std::string DoubleIO::format(double value) {
  char text[kLongestText];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  return ec == std::errc() ? std::string(text, end) : std::string("0.000000");
}

double DoubleIO::parse(const std::string& text) {
  // Texts this program wrote are plain decimals, which from_chars reads to the same value as
  // strtod, only faster; anything else (spaces, a sign, hex, out of range) takes strtod's rules.
  double value;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) return value;
  return ::strtod_l(text.c_str(), nullptr, cLocale());
}

void DoubleIO::write(double value, Data& to) {
  StringIO::write(format(value), to);
}

bool DoubleIO::write(double value, BufferedOutputStream& to, ErrorRecord* error) {
  return StringIO::write(format(value), to, error);
}

bool DoubleIO::read(double* value, BufferedInputStream& from, ErrorRecord* error) {
  *value = 0.0;
  if (error) *error = ErrorRecord();
  std::optional<std::string> text;
  if (!StringIO::read(&text, from, error)) return false;
  if (!text) {
    TL_SET_ERROR(error, &typeid(DoubleIO), errorDomain(), kNoTextError,
                 "nil string; expected a double");
    return false;
  }
  *value = parse(*text);
  return true;
}

}  // namespace twinlens
