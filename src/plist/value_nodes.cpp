#include "plist/value_nodes.hpp"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

#include "plist/number_scan.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

template <typename Node>
bool isEqualNode(const Node& self, const PListNode* other,
                 bool (Node::*typedTest)(const Node&) const) {
  if (other == &self) return true;
  const Node* same = dynamic_cast<const Node*>(other);
  return same != nullptr && (self.*typedTest)(*same);
}

}  // namespace

std::uint64_t hashText(std::string_view text) {
  return std::hash<std::string_view>{}(text);
}

std::string formatFixedSix(double value) {
  // 309 integer digits for the largest double, the point, six decimals and a sign.
  char buffer[330];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (ec != std::errc()) return formatText("%f", value);
  return std::string(buffer, end);
}

std::shared_ptr<IntegerNode> IntegerNode::withString(std::string_view text, ErrorRecord* error) {
  if (std::optional<std::int64_t> value = scanLongLong(text))
    return std::make_shared<IntegerNode>(*value);
  TL_SET_ERROR(error, &typeid(IntegerNode), kPListErrorDomain, kPListMalformedError,
               "string does not contain a long long: %.*s", static_cast<int>(text.size()),
               text.data());
  return nullptr;
}

std::shared_ptr<PListNode> IntegerNode::copy() const {
  return std::make_shared<IntegerNode>(value_);
}

bool IntegerNode::isEqual(const PListNode* other) const {
  return isEqualNode(*this, other, &IntegerNode::isEqualToIntegerNode);
}

std::string IntegerNode::description() const {
  return formatText("<IntegerNode %p %lld>", static_cast<const void*>(this),
                    static_cast<long long>(value_));
}

std::shared_ptr<RealNode> RealNode::withString(std::string_view text, ErrorRecord* error) {
  if (std::optional<double> value = scanDouble(text)) return std::make_shared<RealNode>(*value);
  TL_SET_ERROR(error, &typeid(RealNode), kPListErrorDomain, kPListMalformedError,
               "string does not contain a double: %.*s", static_cast<int>(text.size()),
               text.data());
  return nullptr;
}

std::shared_ptr<PListNode> RealNode::copy() const {
  return std::make_shared<RealNode>(value_);
}

bool RealNode::isEqual(const PListNode* other) const {
  return isEqualNode(*this, other, &RealNode::isEqualToRealNode);
}

std::uint64_t RealNode::hash() const {
  // Converting a double outside the 64-bit range is undefined, so those saturate.
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  std::int64_t truncated = 0;
  if (std::isnan(value_))
    truncated = 0;
  else if (value_ >= kLimit)
    truncated = std::numeric_limits<std::int64_t>::max();
  else if (value_ < -kLimit)
    truncated = std::numeric_limits<std::int64_t>::min();
  else
    truncated = static_cast<std::int64_t>(value_);
  return 31 + static_cast<std::uint64_t>(truncated);
}

std::string RealNode::description() const {
  return formatText("<RealNode %p %s>", static_cast<const void*>(this),
                    formatFixedSix(value_).c_str());
}

std::shared_ptr<PListNode> BooleanNode::copy() const {
  return std::make_shared<BooleanNode>(value_);
}

bool BooleanNode::isEqual(const PListNode* other) const {
  return isEqualNode(*this, other, &BooleanNode::isEqualToBooleanNode);
}

std::string BooleanNode::description() const {
  return formatText("<BooleanNode %p %s>", static_cast<const void*>(this), value_ ? "YES" : "NO");
}

std::shared_ptr<PListNode> StringNode::copy() const {
  return std::make_shared<StringNode>(value_);
}

bool StringNode::isEqual(const PListNode* other) const {
  return isEqualNode(*this, other, &StringNode::isEqualToStringNode);
}

std::uint64_t StringNode::hash() const {
  return 31 + (value_ ? hashText(*value_) : 0);
}

std::string StringNode::description() const {
  return formatText("<StringNode %p \"%s\">", static_cast<const void*>(this),
                    textOrNull(value_ ? &*value_ : nullptr));
}

}  // namespace twinlens
