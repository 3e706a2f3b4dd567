#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/data.hpp"
#include "shared/date.hpp"

namespace twinlens {

// One value of iPhoto's catalogue: a property-list tree of dictionaries with text keys, arrays,
// texts, integers, reals, booleans, dates and byte blocks. Immutable; copies share the tree, so
// a value may be handed around freely and read from any thread.
class AlbumValue {
 public:
  enum class Type { Dictionary, Array, Text, Integer, Real, Boolean, Date, Data };
  using Dictionary = std::map<std::string, AlbumValue, std::less<>>;
  using Array = std::vector<AlbumValue>;

  static AlbumValue dictionary(Dictionary entries);
  static AlbumValue array(Array items);
  static AlbumValue text(std::string value);
  static AlbumValue integer(std::int64_t value);
  static AlbumValue real(double value);
  static AlbumValue boolean(bool value);
  static AlbumValue date(twinlens::Date value);
  static AlbumValue data(twinlens::Data value);

  Type type() const;

  // The value as its own type: null or nullopt when it is of another type.
  const Dictionary* dictionaryValue() const;
  const Array* arrayValue() const;
  const std::string* textValue() const;
  std::optional<std::int64_t> integerValue() const;
  std::optional<double> realValue() const;
  std::optional<bool> booleanValue() const;
  std::optional<twinlens::Date> dateValue() const;
  const twinlens::Data* dataValue() const;

  // The entry under `key` of a dictionary; null when absent or when this is not a dictionary.
  const AlbumValue* objectForKey(std::string_view key) const;

  // The value read as a number. An integer, a real and a boolean (1 or 0) read as themselves; a
  // text reads as the decimal number at its start (leading white space skipped, 0 when none).
  // Any other type is not a number: nullopt.
  std::optional<double> doubleValue() const;
  // The same, as a signed 32-bit integer: reals are truncated toward zero (NaN gives 0), and
  // everything is held to the 32-bit range.
  std::optional<std::int32_t> int32Value() const;

  // Deep equality. Integers and reals compare by numeric value (2 equals 2.0); every other type
  // equals only its own type.
  bool operator==(const AlbumValue& other) const;

 private:
  struct Node;
  template <typename T, typename V>
  static AlbumValue make(V&& value);
  explicit AlbumValue(std::shared_ptr<const Node> node) : node_(std::move(node)) {}

  std::shared_ptr<const Node> node_;
};

// The signed 32-bit integer at the start of a text: leading white space skipped, an optional
// sign, then decimal digits; 0 when there are none; held to the 32-bit range.
std::int32_t int32FromDecimalText(std::string_view text);
// The decimal number at the start of a text ("1.5", "-2e3", " .5x"), in the C locale; 0.0 when
// none begins it.
double doubleFromDecimalText(std::string_view text);

}  // namespace twinlens
