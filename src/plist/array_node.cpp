#include "plist/array_node.hpp"

#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

void requireNode(const PListNodePtr& node) {
  if (!node) throw ProgrammingError("ArrayNode: can't add a null node");
}

}  // namespace

int ArrayNode::arrayElementsType() const {
  return list_.empty() ? kStringNodeType : list_.front()->type();
}

const PListNodePtr& ArrayNode::objectAtIndex(std::int32_t index) const {
  if (index < 0 || static_cast<std::uint64_t>(index) >= list_.size())
    throw ProgrammingError(formatText("ArrayNode: index %d beyond size %zu", index, list_.size()));
  return list_[static_cast<std::size_t>(index)];
}

std::shared_ptr<ArrayNode> ArrayNode::arrayNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<ArrayNode>(objectAtIndex(index));
}
std::shared_ptr<BooleanNode> ArrayNode::booleanNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<BooleanNode>(objectAtIndex(index));
}
std::shared_ptr<DictNode> ArrayNode::dictNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<DictNode>(objectAtIndex(index));
}
std::shared_ptr<IntegerNode> ArrayNode::integerNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<IntegerNode>(objectAtIndex(index));
}
std::shared_ptr<RealNode> ArrayNode::realNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<RealNode>(objectAtIndex(index));
}
std::shared_ptr<StringNode> ArrayNode::stringNodeAtIndex(std::int32_t index) const {
  return std::dynamic_pointer_cast<StringNode>(objectAtIndex(index));
}

void ArrayNode::add(PListNodePtr node) {
  requireNode(node);
  list_.push_back(std::move(node));
}

void ArrayNode::add(PListNodePtr node, std::int32_t index) {
  requireNode(node);
  if (index < 0 || static_cast<std::uint64_t>(index) > list_.size())
    throw ProgrammingError(formatText("ArrayNode: index %d beyond size %zu", index, list_.size()));
  list_.insert(list_.begin() + index, std::move(node));
}

std::shared_ptr<ArrayNode> ArrayNode::deepCopy() const {
  PListNodeList copies;
  copies.reserve(list_.size());
  for (const PListNodePtr& node : list_) copies.push_back(node->copy());
  return std::make_shared<ArrayNode>(std::move(copies));
}

bool ArrayNode::isEqual(const PListNode* other) const {
  if (other == this) return true;
  const ArrayNode* array = dynamic_cast<const ArrayNode*>(other);
  return array != nullptr && isEqualToArrayNode(*array);
}

bool ArrayNode::isEqualToArrayNode(const ArrayNode& other) const {
  if (list_.size() != other.list_.size()) return false;
  for (std::size_t i = 0; i < list_.size(); ++i)
    if (!list_[i]->isEqual(other.list_[i].get())) return false;
  return true;
}

std::uint64_t ArrayNode::hash() const {
  std::uint64_t listHash = 1;
  for (const PListNodePtr& node : list_) listHash = 31 * listHash + node->hash();
  return 31 + listHash;
}

std::string ArrayNode::description() const {
  std::string text = formatText("<ArrayNode %p (", static_cast<const void*>(this));
  for (std::size_t i = 0; i < list_.size(); ++i) {
    if (i > 0) text += ", ";
    text += list_[i]->description();
  }
  return text + ")>";
}

}  // namespace twinlens
