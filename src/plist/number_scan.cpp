#include "plist/number_scan.hpp"

#include <locale.h>

#include <cstdlib>
#include <limits>
#include <string>

namespace twinlens {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view skipSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  return text.substr(i);
}

std::size_t digitsAt(std::string_view text, std::size_t i) {
  std::size_t start = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  return i - start;
}

bool startsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if ((text[i] | 0x20) != word[i]) return false;
  return true;
}

// The length of the decimal number at the start of `text` (sign included), or 0.
std::size_t decimalLength(std::string_view text) {
  std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  std::size_t whole = digitsAt(text, i);
  i += whole;
  std::size_t fraction = 0;
  if (i < text.size() && text[i] == '.') {
    fraction = digitsAt(text, i + 1);
    if (whole == 0 && fraction == 0) return 0;
    i += 1 + fraction;
  }
  if (whole == 0 && fraction == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t exponent = digitsAt(text, j);
    if (exponent > 0) i = j + exponent;
  }
  return i;
}

std::size_t nonFiniteLength(std::string_view text) {
  std::size_t sign = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  std::string_view rest = text.substr(sign);
  if (startsWithNoCase(rest, "infinity")) return sign + 8;
  if (startsWithNoCase(rest, "inf") || startsWithNoCase(rest, "nan")) return sign + 3;
  return 0;
}

locale_t cLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// strtod_l sees only the span checked by the caller, so it never reads hexadecimal forms or past
// the number, and the C locale keeps the point as the separator.
double readNumber(std::string_view number) {
  return ::strtod_l(std::string(number).c_str(), nullptr, cLocale());
}

}  // namespace

std::optional<std::int64_t> scanLongLong(std::string_view text) {
  text = skipSpace(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size() || !isDigit(text[i])) return std::nullopt;
  // Accumulate as a negative number so that the smallest value needs no special case.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    int digit = text[i] - '0';
    if (saturated || value < (kMin + digit) / 10) {
      saturated = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return value;
  return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

std::optional<std::int32_t> scanInt(std::string_view text) {
  std::optional<std::int64_t> value = scanLongLong(text);
  if (!value) return std::nullopt;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(*value > kMax ? kMax : *value < kMin ? kMin : *value);
}

std::optional<double> scanDouble(std::string_view text) {
  text = skipSpace(text);
  std::size_t length = decimalLength(text);
  if (length == 0) length = nonFiniteLength(text);
  if (length == 0) return std::nullopt;
  return readNumber(text.substr(0, length));
}

std::optional<double> scanDecimal(std::string_view text) {
  text = skipSpace(text);
  std::size_t length = decimalLength(text);
  if (length == 0) return std::nullopt;
  return readNumber(text.substr(0, length));
}

}  // namespace twinlens
