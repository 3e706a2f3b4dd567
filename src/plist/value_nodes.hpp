#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "plist/plist_node.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// The leaves of a tree. A value node never changes after construction.

class IntegerNode final : public PListNode {
 public:
  // A 32-bit value is widened with its sign.
  explicit IntegerNode(std::int64_t value) : value_(value) {}
  // The integer at the start of `text` (white space skipped, trailing text ignored, saturating at
  // the 64-bit limits), or null with "PListErrorDomain" -1 "string does not contain a long long:
  // %@" naming the whole text.
  static std::shared_ptr<IntegerNode> withString(std::string_view text,
                                                 ErrorRecord* error = nullptr);

  // The low 32 bits as a signed value.
  std::int32_t intValue() const { return static_cast<std::int32_t>(value_); }
  std::int64_t longlongValue() const { return value_; }

  int type() const override { return kIntegerNodeType; }
  std::shared_ptr<PListNode> copy() const override;
  bool isEqual(const PListNode* other) const override;
  bool isEqualToIntegerNode(const IntegerNode& other) const { return value_ == other.value_; }
  std::uint64_t hash() const override { return 31 + static_cast<std::uint64_t>(value_); }
  // "<IntegerNode %p %qi>"
  std::string description() const override;

 private:
  std::int64_t value_;
};

class RealNode final : public PListNode {
 public:
  explicit RealNode(double value) : value_(value) {}
  // The decimal number at the start of `text` (a point is the separator in every locale), or
  // null with "PListErrorDomain" -1 "string does not contain a double: %@".
  static std::shared_ptr<RealNode> withString(std::string_view text, ErrorRecord* error = nullptr);

  double doubleValue() const { return value_; }

  int type() const override { return kRealNodeType; }
  std::shared_ptr<PListNode> copy() const override;
  bool isEqual(const PListNode* other) const override;
  // Compares as doubles do: NaN equals nothing, and 0 equals -0.
  bool isEqualToRealNode(const RealNode& other) const { return value_ == other.value_; }
  // 31 + the value truncated toward zero (saturated at the 64-bit limits, NaN as 0).
  std::uint64_t hash() const override;
  // "<RealNode %p %f>"
  std::string description() const override;

 private:
  double value_;
};

class BooleanNode final : public PListNode {
 public:
  explicit BooleanNode(bool value) : value_(value) {}

  bool booleanValue() const { return value_; }

  int type() const override { return kBooleanNodeType; }
  std::shared_ptr<PListNode> copy() const override;
  bool isEqual(const PListNode* other) const override;
  bool isEqualToBooleanNode(const BooleanNode& other) const { return value_ == other.value_; }
  std::uint64_t hash() const override { return value_ ? 1262 : 1268; }
  // "<BooleanNode %p YES>" or "... NO>"
  std::string description() const override;

 private:
  bool value_;
};

// A text, or no text at all; writers treat a node without text specially.
class StringNode final : public PListNode {
 public:
  explicit StringNode(std::optional<std::string> value) : value_(std::move(value)) {}

  const std::optional<std::string>& stringValue() const { return value_; }

  int type() const override { return kStringNodeType; }
  std::shared_ptr<PListNode> copy() const override;
  bool isEqual(const PListNode* other) const override;
  bool isEqualToStringNode(const StringNode& other) const { return value_ == other.value_; }
  // 31 + the hash of the text; 31 for no text.
  std::uint64_t hash() const override;
  // "<StringNode %p \"%@\">", "(null)" for no text.
  std::string description() const override;

 private:
  std::optional<std::string> value_;
};

// The hash of a text that every node hash builds on.
std::uint64_t hashText(std::string_view text);

// "%f" without the process locale: six decimals and a point, "inf", "-inf" or "nan" otherwise.
std::string formatFixedSix(double value);

}  // namespace twinlens
