#include "catalog/album_value.hpp"

#include <cmath>
#include <limits>
#include <variant>

#include "io/double_io.hpp"

namespace twinlens {

// The alternatives are in the order of AlbumValue::Type.
struct AlbumValue::Node {
  std::variant<Dictionary, Array, std::string, std::int64_t, double, bool, twinlens::Date,
               twinlens::Data>
      value;
};

template <typename T, typename V>
AlbumValue AlbumValue::make(V&& value) {
  return AlbumValue(std::make_shared<const Node>(
      Node{decltype(Node::value)(std::in_place_type<T>, std::forward<V>(value))}));
}

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

bool isWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::size_t skipWhiteSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isWhiteSpace(text[i])) ++i;
  return i;
}

std::size_t skipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && isDigit(text[i])) ++i;
  return i;
}

std::int32_t clampToInt32(std::int64_t value) {
  if (value > kInt32Max) return kInt32Max;
  if (value < kInt32Min) return kInt32Min;
  return static_cast<std::int32_t>(value);
}

std::int32_t truncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return kInt32Max;
  if (value <= -2147483648.0) return kInt32Min;
  return static_cast<std::int32_t>(value);
}

// An integer and a real are equal when the real is exactly that integer.
bool integerEqualsReal(std::int64_t integer, double real) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (!(real >= -kTwoTo63 && real < kTwoTo63) || std::trunc(real) != real) return false;
  return static_cast<std::int64_t>(real) == integer;
}

}  // namespace

std::int32_t int32FromDecimalText(std::string_view text) {
  std::size_t i = skipWhiteSpace(text);
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::int64_t magnitude = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    // Past the 32-bit range already; further digits cannot bring it back.
    if (magnitude > std::int64_t{kInt32Max} + 1) break;
  }
  return clampToInt32(negative ? -magnitude : magnitude);
}

double doubleFromDecimalText(std::string_view text) {
  std::size_t start = skipWhiteSpace(text);
  std::size_t i = start;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t integerEnd = skipDigits(text, i);
  std::size_t end = integerEnd;
  if (end < text.size() && text[end] == '.') end = skipDigits(text, end + 1);
  bool hasDigits = integerEnd > i || end > integerEnd + 1;
  if (!hasDigits) return 0.0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '-' || text[exponent] == '+')) ++exponent;
    std::size_t exponentEnd = skipDigits(text, exponent);
    if (exponentEnd > exponent) end = exponentEnd;
  }
  // The prefix is a plain decimal number now, which strtod in the C locale reads exactly,
  // overflow to infinity included.
  return DoubleIO::parse(std::string(text.substr(start, end - start)));
}

AlbumValue AlbumValue::dictionary(Dictionary entries) {
  return make<Dictionary>(std::move(entries));
}
AlbumValue AlbumValue::array(Array items) {
  return make<Array>(std::move(items));
}
AlbumValue AlbumValue::text(std::string value) {
  return make<std::string>(std::move(value));
}
AlbumValue AlbumValue::integer(std::int64_t value) {
  return make<std::int64_t>(value);
}
AlbumValue AlbumValue::real(double value) {
  return make<double>(value);
}
AlbumValue AlbumValue::boolean(bool value) {
  return make<bool>(value);
}
AlbumValue AlbumValue::date(twinlens::Date value) {
  return make<twinlens::Date>(value);
}
AlbumValue AlbumValue::data(twinlens::Data value) {
  return make<twinlens::Data>(std::move(value));
}

AlbumValue::Type AlbumValue::type() const {
  return static_cast<Type>(node_->value.index());
}

const AlbumValue::Dictionary* AlbumValue::dictionaryValue() const {
  return std::get_if<Dictionary>(&node_->value);
}
const AlbumValue::Array* AlbumValue::arrayValue() const {
  return std::get_if<Array>(&node_->value);
}
const std::string* AlbumValue::textValue() const {
  return std::get_if<std::string>(&node_->value);
}
std::optional<std::int64_t> AlbumValue::integerValue() const {
  if (const auto* value = std::get_if<std::int64_t>(&node_->value)) return *value;
  return std::nullopt;
}
std::optional<double> AlbumValue::realValue() const {
  if (const auto* value = std::get_if<double>(&node_->value)) return *value;
  return std::nullopt;
}
std::optional<bool> AlbumValue::booleanValue() const {
  if (const auto* value = std::get_if<bool>(&node_->value)) return *value;
  return std::nullopt;
}
std::optional<twinlens::Date> AlbumValue::dateValue() const {
  if (const auto* value = std::get_if<twinlens::Date>(&node_->value)) return *value;
  return std::nullopt;
}
const twinlens::Data* AlbumValue::dataValue() const {
  return std::get_if<twinlens::Data>(&node_->value);
}

const AlbumValue* AlbumValue::objectForKey(std::string_view key) const {
  const Dictionary* entries = dictionaryValue();
  if (!entries) return nullptr;
  auto found = entries->find(key);
  return found == entries->end() ? nullptr : &found->second;
}

std::optional<double> AlbumValue::doubleValue() const {
  if (auto integer = integerValue()) return static_cast<double>(*integer);
  if (auto real = realValue()) return *real;
  if (auto flag = booleanValue()) return *flag ? 1.0 : 0.0;
  if (const std::string* text = textValue()) return doubleFromDecimalText(*text);
  return std::nullopt;
}

std::optional<std::int32_t> AlbumValue::int32Value() const {
  if (auto integer = integerValue()) return clampToInt32(*integer);
  if (auto real = realValue()) return truncateToInt32(*real);
  if (auto flag = booleanValue()) return *flag ? 1 : 0;
  if (const std::string* text = textValue()) return int32FromDecimalText(*text);
  return std::nullopt;
}

bool AlbumValue::operator==(const AlbumValue& other) const {
  if (node_ == other.node_) return true;
  if (auto integer = integerValue())
    if (auto real = other.realValue()) return integerEqualsReal(*integer, *real);
  if (auto real = realValue())
    if (auto integer = other.integerValue()) return integerEqualsReal(*integer, *real);
  // std::variant compares the alternative first, then the values; containers recurse here.
  return node_->value == other.node_->value;
}

}  // namespace twinlens
