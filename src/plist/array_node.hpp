#pragma once

#include <cstdint>
#include <memory>

#include "plist/plist_node.hpp"

namespace twinlens {

class BooleanNode;
class DictNode;
class IntegerNode;
class RealNode;
class StringNode;

// An ordered list of nodes. Indexes are signed 32-bit as callers pass them; an index out of range
// or a null node is a caller error and throws ProgrammingError.
class ArrayNode final : public PListNode {
 public:
  ArrayNode() = default;
  // Adopts `list` as its own; the nodes are shared, not copied.
  explicit ArrayNode(PListNodeList list) : list_(std::move(list)) {}

  // The node's own list: changes through it change the node. It must hold no null node.
  PListNodeList& list() { return list_; }
  const PListNodeList& list() const { return list_; }
  std::uint64_t size() const { return list_.size(); }
  // The type code of the first element; the string code when the list is empty.
  int arrayElementsType() const;

  const PListNodePtr& objectAtIndex(std::int32_t index) const;
  // The element as the named class, or null when it is of another kind.
  std::shared_ptr<ArrayNode> arrayNodeAtIndex(std::int32_t index) const;
  std::shared_ptr<BooleanNode> booleanNodeAtIndex(std::int32_t index) const;
  std::shared_ptr<DictNode> dictNodeAtIndex(std::int32_t index) const;
  std::shared_ptr<IntegerNode> integerNodeAtIndex(std::int32_t index) const;
  std::shared_ptr<RealNode> realNodeAtIndex(std::int32_t index) const;
  std::shared_ptr<StringNode> stringNodeAtIndex(std::int32_t index) const;

  void add(PListNodePtr node);
  // Inserts before the element at `index`; `index` equal to size() appends.
  void add(PListNodePtr node, std::int32_t index);

  int type() const override { return kArrayNodeType; }
  std::shared_ptr<PListNode> copy() const override { return deepCopy(); }
  std::shared_ptr<ArrayNode> deepCopy() const;
  bool isEqual(const PListNode* other) const override;
  // Same length, and equal elements at every position.
  bool isEqualToArrayNode(const ArrayNode& other) const;
  std::uint64_t hash() const override;
  // "<ArrayNode 0x... (<element>, <element>)>"
  std::string description() const override;

 private:
  PListNodeList list_;
};

}  // namespace twinlens
