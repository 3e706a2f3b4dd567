#include "platform/plist_value.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <variant>

#include "plist/number_scan.hpp"

namespace twinlens {

// The shared kinds of value; the rest are held in PListValue::Storage.
struct PListValue::Node {
  using Pending = std::vector<std::shared_ptr<const Node>>;

  ~Node();
  // Moves the nodes of this node's children into `pending`, leaving the children empty.
  void releaseChildren(Pending& pending) const;

  // Mutable only so that a node about to go can be emptied; a live node never changes.
  mutable std::variant<Dictionary, Array, std::string, twinlens::Data> value;
};

void PListValue::Node::releaseChildren(Pending& pending) const {
  auto take = [&pending](PListValue& child) {
    if (auto* node = std::get_if<std::shared_ptr<const Node>>(&child.storage_))
      if (*node) pending.push_back(std::move(*node));
  };
  if (auto* items = std::get_if<Array>(&value))
    for (PListValue& item : *items) take(item);
  if (auto* entries = std::get_if<Dictionary>(&value))
    for (auto& entry : entries->entries_) take(entry.second);
}

// A tree is taken apart here, a level at a time, instead of each node freeing its children in
// turn: however deep the tree, freeing it never recurses.
PListValue::Node::~Node() {
  Pending pending;
  releaseChildren(pending);
  while (!pending.empty()) {
    std::shared_ptr<const Node> node = std::move(pending.back());
    pending.pop_back();
    // A node held by nobody else is ours to empty; the fence pairs with other owners' releases.
    if (node.use_count() == 1) {
      std::atomic_thread_fence(std::memory_order_acquire);
      node->releaseChildren(pending);
    }
  }
}

template <typename T, typename V>
PListValue PListValue::make(V&& value) {
  return PListValue(Storage(std::make_shared<const Node>(
      Node{decltype(Node::value)(std::in_place_type<T>, std::forward<V>(value))})));
}

template <typename T>
const T* PListValue::nodeValue() const {
  const auto* node = std::get_if<std::shared_ptr<const Node>>(&storage_);
  return node ? std::get_if<T>(&(*node)->value) : nullptr;
}

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

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

PListValue::Dictionary::Dictionary(std::initializer_list<value_type> entries) {
  Entries source(entries);
  *this = movingFrom(source);
}

PListValue::Dictionary::Dictionary(Entries entries) {
  *this = movingFrom(entries);
}

PListValue::Dictionary PListValue::Dictionary::movingFrom(Entries& source) {
  Dictionary result;
  Entries& out = result.entries_;
  auto notAscending = [](const value_type& a, const value_type& b) { return a.first >= b.first; };
  if (std::adjacent_find(source.begin(), source.end(), notAscending) == source.end()) {
    out.reserve(source.size());
    std::move(source.begin(), source.end(), std::back_inserter(out));
    source.clear();
    return result;
  }
  // The entries are ordered through their positions, by key and then by position, so that the
  // values move once, straight into place.
  std::vector<std::size_t> order(source.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&source](std::size_t a, std::size_t b) {
    int byKey = source[a].first.compare(source[b].first);
    return byKey < 0 || (byKey == 0 && a < b);
  });
  // Of each run of equal keys only the last, which came latest, is kept.
  auto superseded = [&](std::size_t i) {
    return i + 1 < order.size() && source[order[i + 1]].first == source[order[i]].first;
  };
  std::size_t kept = 0;
  for (std::size_t i = 0; i < order.size(); ++i) kept += superseded(i) ? 0 : 1;
  out.reserve(kept);
  for (std::size_t i = 0; i < order.size(); ++i)
    if (!superseded(i)) out.push_back(std::move(source[order[i]]));
  source.clear();
  return result;
}

PListValue::Dictionary::const_iterator PListValue::Dictionary::find(std::string_view key) const {
  auto found = std::lower_bound(entries_.begin(), entries_.end(), key,
                                [](const value_type& entry, std::string_view k) {
                                  return std::string_view(entry.first) < k;
                                });
  return found != entries_.end() && found->first == key ? found : entries_.end();
}

const PListValue& PListValue::Dictionary::at(std::string_view key) const {
  auto found = find(key);
  if (found == end()) throw std::out_of_range("no entry under " + std::string(key));
  return found->second;
}

void PListValue::Dictionary::insert_or_assign(std::string key, PListValue value) {
  auto place = std::lower_bound(
      entries_.begin(), entries_.end(), key,
      [](const value_type& entry, const std::string& k) { return entry.first < k; });
  if (place != entries_.end() && place->first == key)
    place->second = std::move(value);
  else
    entries_.emplace(place, std::move(key), std::move(value));
}

PListValue PListValue::dictionary(Dictionary entries) {
  return make<Dictionary>(std::move(entries));
}
PListValue PListValue::array(Array items) {
  return make<Array>(std::move(items));
}
PListValue PListValue::text(std::string value) {
  return make<std::string>(std::move(value));
}
PListValue PListValue::integer(std::int64_t value) {
  return PListValue(Storage(value));
}
PListValue PListValue::real(double value) {
  return PListValue(Storage(value));
}
PListValue PListValue::boolean(bool value) {
  return PListValue(Storage(value));
}
PListValue PListValue::date(twinlens::Date value) {
  return PListValue(Storage(value));
}
PListValue PListValue::data(twinlens::Data value) {
  return make<twinlens::Data>(std::move(value));
}
PListValue PListValue::null() {
  return PListValue(Storage(std::monostate()));
}

PListValue::Type PListValue::type() const {
  switch (storage_.index()) {
    case 0: {
      // In the order of Node::value's alternatives.
      constexpr Type kNodeTypes[] = {Type::Dictionary, Type::Array, Type::Text, Type::Data};
      return kNodeTypes[std::get<0>(storage_)->value.index()];
    }
    case 1:
      return Type::Integer;
    case 2:
      return Type::Real;
    case 3:
      return Type::Boolean;
    case 4:
      return Type::Date;
    default:
      return Type::Null;
  }
}

const PListValue::Dictionary* PListValue::dictionaryValue() const {
  return nodeValue<Dictionary>();
}
const PListValue::Array* PListValue::arrayValue() const {
  return nodeValue<Array>();
}
const std::string* PListValue::textValue() const {
  return nodeValue<std::string>();
}
std::optional<std::int64_t> PListValue::integerValue() const {
  if (const auto* value = std::get_if<std::int64_t>(&storage_)) return *value;
  return std::nullopt;
}
std::optional<double> PListValue::realValue() const {
  if (const auto* value = std::get_if<double>(&storage_)) return *value;
  return std::nullopt;
}
std::optional<bool> PListValue::booleanValue() const {
  if (const auto* value = std::get_if<bool>(&storage_)) return *value;
  return std::nullopt;
}
std::optional<twinlens::Date> PListValue::dateValue() const {
  if (const auto* value = std::get_if<twinlens::Date>(&storage_)) return *value;
  return std::nullopt;
}
const twinlens::Data* PListValue::dataValue() const {
  return nodeValue<twinlens::Data>();
}
bool PListValue::isNull() const {
  return std::holds_alternative<std::monostate>(storage_);
}

const PListValue* PListValue::objectForKey(std::string_view key) const {
  const Dictionary* entries = dictionaryValue();
  if (!entries) return nullptr;
  auto found = entries->find(key);
  return found == entries->end() ? nullptr : &found->second;
}

std::optional<double> PListValue::doubleValue() const {
  if (auto integer = integerValue()) return static_cast<double>(*integer);
  if (auto real = realValue()) return *real;
  if (auto flag = booleanValue()) return *flag ? 1.0 : 0.0;
  if (const std::string* text = textValue()) return scanDecimal(*text).value_or(0.0);
  return std::nullopt;
}

std::optional<std::int32_t> PListValue::int32Value() const {
  if (auto integer = integerValue()) return clampToInt32(*integer);
  if (auto real = realValue()) return truncateToInt32(*real);
  if (auto flag = booleanValue()) return *flag ? 1 : 0;
  if (const std::string* text = textValue()) return scanInt(*text).value_or(0);
  return std::nullopt;
}

bool PListValue::operator==(const PListValue& other) const {
  const auto* node = std::get_if<std::shared_ptr<const Node>>(&storage_);
  const auto* otherNode = std::get_if<std::shared_ptr<const Node>>(&other.storage_);
  // std::variant compares the alternative first, then the values; containers recurse here.
  if (node && otherNode) return *node == *otherNode || (*node)->value == (*otherNode)->value;
  if (auto integer = integerValue())
    if (auto real = other.realValue()) return integerEqualsReal(*integer, *real);
  if (auto real = realValue())
    if (auto integer = other.integerValue()) return integerEqualsReal(*integer, *real);
  // The remaining scalars equal only their own type; a node never equals a scalar.
  return storage_ == other.storage_;
}

}  // namespace twinlens
