#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "shared/data.hpp"
#include "shared/date.hpp"

namespace twinlens {

// Two property-list models, because they serve two kinds of file. PListValue and PListReader are
// the platform's model of Apple's own files: iPhoto's catalogue, a bundle's Info.plist and the
// values in iPhoto's answers to scripts (error dictionaries included). It is immutable and shared,
// holds every Apple type (dates, data, null) and is parsed in one streaming pass, as a catalogue
// of many megabytes needs. The system's own property-list library (plist/plist_node.hpp,
// PListNode) is a mutable node tree with the system's own XML and binary forms, which serves the
// preferences (UserDefaults). Both fail in kPListErrorDomain.
//
// One value of iPhoto's catalogue: a property-list tree of dictionaries with text keys, arrays,
// texts, integers, reals, booleans, dates and byte blocks, and the null value that iPhoto's
// answers to scripts may hold (never a catalogue file). Immutable; copies share the tree, so
// a value may be handed around freely and read from any thread. Numbers, booleans and dates are
// held in the value itself; only texts, byte blocks and containers are shared nodes.
class PListValue {
 public:
  enum class Type { Dictionary, Array, Text, Integer, Real, Boolean, Date, Data, Null };
  class Dictionary;
  using Array = std::vector<PListValue>;

  static PListValue dictionary(Dictionary entries);
  static PListValue array(Array items);
  static PListValue text(std::string value);
  static PListValue integer(std::int64_t value);
  static PListValue real(double value);
  static PListValue boolean(bool value);
  static PListValue date(twinlens::Date value);
  static PListValue data(twinlens::Data value);
  // Stands for "no value" inside an array or a dictionary; equals only itself.
  static PListValue null();

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
  bool isNull() const;

  // The entry under `key` of a dictionary; null when absent or when this is not a dictionary.
  const PListValue* objectForKey(std::string_view key) const;

  // The value read as a number. An integer, a real and a boolean (1 or 0) read as themselves; a
  // text reads as the decimal number at its start (scanDecimal: leading white space skipped, 0
  // when none).
  // Any other type is not a number: nullopt.
  std::optional<double> doubleValue() const;
  // The same, as a signed 32-bit integer: reals are truncated toward zero (NaN gives 0), a text
  // reads as scanInt does (0 when no number begins it), and everything is held to the 32-bit range.
  std::optional<std::int32_t> int32Value() const;

  // Deep equality, recursive: every reader of outside trees bounds their depth. Integers and
  // reals compare by numeric value (2 equals 2.0); every other type equals only its own type.
  bool operator==(const PListValue& other) const;

 private:
  struct Node;
  using Storage = std::variant<std::shared_ptr<const Node>, std::int64_t, double, bool,
                               twinlens::Date, std::monostate>;
  template <typename T, typename V>
  static PListValue make(V&& value);
  explicit PListValue(Storage storage) : storage_(std::move(storage)) {}
  template <typename T>
  const T* nodeValue() const;

  Storage storage_;
};

// The entries of a dictionary, kept sorted by key in one block so that a catalogue of many small
// dictionaries costs one allocation each. Iterates in ascending key order; keys are unique. Built
// from entries in any order; where a key repeats, the later entry wins.
class PListValue::Dictionary {
 public:
  using value_type = std::pair<std::string, PListValue>;
  using Entries = std::vector<value_type>;
  using const_iterator = Entries::const_iterator;
  using iterator = const_iterator;

  Dictionary() = default;
  Dictionary(std::initializer_list<value_type> entries);
  template <typename Pair>
  Dictionary(std::initializer_list<Pair> entries) : Dictionary(entries.begin(), entries.end()) {}
  template <typename Iterator>
  Dictionary(Iterator first, Iterator last) : Dictionary(Entries(first, last)) {}
  explicit Dictionary(Entries entries);
  // The same, taking the entries out of `source`, which is left empty with its capacity, so that a
  // builder can reuse it. The result holds no spare capacity.
  static Dictionary movingFrom(Entries& source);

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // The entry under `key`, or end() when there is none.
  const_iterator find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != end(); }
  // The value under `key`; throws std::out_of_range when there is none.
  const PListValue& at(std::string_view key) const;
  // Puts `value` under `key`, replacing what was there; linear, for dictionaries built by hand.
  void insert_or_assign(std::string key, PListValue value);

  bool operator==(const Dictionary& other) const { return entries_ == other.entries_; }

 private:
  friend struct PListValue::Node;  // takes a tree apart without recursion
  Entries entries_;
};

}  // namespace twinlens
