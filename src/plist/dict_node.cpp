#include "plist/dict_node.hpp"

#include <algorithm>

#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

template <typename Node>
std::shared_ptr<Node> as(PListNodePtr node) {
  return std::dynamic_pointer_cast<Node>(std::move(node));
}

}  // namespace

std::size_t DictNode::KeyHash::operator()(std::string_view key) const noexcept {
  return static_cast<std::size_t>(hashText(key));
}

DictNode::DictNode(Map dict, const std::vector<std::string>& orderedKeys) {
  if (dict.size() != orderedKeys.size())
    throw ProgrammingError("DictNode: key order and map disagree in size");
  slots_.reserve(orderedKeys.size());
  for (const std::string& key : orderedKeys) {
    auto entry = dict.find(key);
    if (entry == dict.end() || !entry->second || find(key) != kNotFound)
      throw ProgrammingError(formatText("DictNode: key '%s' missing or repeated", key.c_str()));
    append(key, std::move(entry->second));
  }
}

std::size_t DictNode::find(std::string_view key) const {
  if (index_) {
    auto entry = index_->find(key);
    return entry == index_->end() ? kNotFound : entry->second;
  }
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].node && slots_[i].key == key) return i;
  return kNotFound;
}

void DictNode::append(std::string key, PListNodePtr node) {
  std::size_t slot = slots_.size();
  if (index_) index_->insert_or_assign(key, slot);
  slots_.push_back(Slot{std::move(key), std::move(node)});
  if (!index_ && static_cast<std::size_t>(size()) > kIndexThreshold) rebuildIndex();
}

void DictNode::vacate(std::size_t slot) {
  if (index_) index_->erase(slots_[slot].key);
  slots_[slot].node.reset();
  slots_[slot].key = std::string();
  ++holes_;
}

void DictNode::compactIfSparse() {
  if (holes_ <= kIndexThreshold || holes_ * 2 <= slots_.size()) return;
  std::erase_if(slots_, [](const Slot& slot) { return !slot.node; });
  holes_ = 0;
  if (index_) rebuildIndex();
}

void DictNode::rebuildIndex() {
  index_ = std::make_unique<Index>();
  index_->reserve(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].node) index_->emplace(slots_[i].key, i);
}

DictNode::Map DictNode::dict() const {
  Map map;
  map.reserve(static_cast<std::size_t>(size()));
  forEachEntry(
      [&map](const std::string& key, const PListNodePtr& node) { map.emplace(key, node); });
  return map;
}

std::vector<std::string> DictNode::orderedKeySet() const {
  std::vector<std::string> keys;
  keys.reserve(static_cast<std::size_t>(size()));
  forEachEntry([&keys](const std::string& key, const PListNodePtr&) { keys.push_back(key); });
  return keys;
}

PListNodeList DictNode::values() const {
  PListNodeList nodes;
  nodes.reserve(static_cast<std::size_t>(size()));
  forEachEntry([&nodes](const std::string&, const PListNodePtr& node) { nodes.push_back(node); });
  return nodes;
}

int DictNode::nodeTypeForKey(std::string_view key) const {
  std::size_t slot = find(key);
  return slot == kNotFound ? kNoNodeType : slots_[slot].node->type();
}

PListNodePtr DictNode::nodeForKey(std::string_view key) const {
  std::size_t slot = find(key);
  return slot == kNotFound ? nullptr : slots_[slot].node;
}

std::shared_ptr<ArrayNode> DictNode::arrayNodeForKey(std::string_view key) const {
  return as<ArrayNode>(nodeForKey(key));
}
std::shared_ptr<BooleanNode> DictNode::booleanNodeForKey(std::string_view key) const {
  return as<BooleanNode>(nodeForKey(key));
}
std::shared_ptr<DictNode> DictNode::dictNodeForKey(std::string_view key) const {
  return as<DictNode>(nodeForKey(key));
}
std::shared_ptr<IntegerNode> DictNode::integerNodeForKey(std::string_view key) const {
  return as<IntegerNode>(nodeForKey(key));
}
std::shared_ptr<RealNode> DictNode::realNodeForKey(std::string_view key) const {
  return as<RealNode>(nodeForKey(key));
}
std::shared_ptr<StringNode> DictNode::stringNodeForKey(std::string_view key) const {
  return as<StringNode>(nodeForKey(key));
}

void DictNode::put(PListNodePtr node, std::string key) {
  if (!node) throw ProgrammingError("DictNode: can't put a null node");
  std::size_t slot = find(key);
  if (slot != kNotFound && slot + 1 == slots_.size()) {
    slots_[slot].node = std::move(node);  // already the last key: its place stays
    return;
  }
  if (slot != kNotFound) vacate(slot);
  append(std::move(key), std::move(node));
  compactIfSparse();
}

void DictNode::putString(std::optional<std::string> value, std::string key) {
  put(std::make_shared<StringNode>(std::move(value)), std::move(key));
}
void DictNode::putInt(std::int32_t value, std::string key) {
  put(std::make_shared<IntegerNode>(value), std::move(key));
}
void DictNode::putLongLong(std::int64_t value, std::string key) {
  put(std::make_shared<IntegerNode>(value), std::move(key));
}
void DictNode::putBoolean(bool value, std::string key) {
  put(std::make_shared<BooleanNode>(value), std::move(key));
}
void DictNode::putDouble(double value, std::string key) {
  put(std::make_shared<RealNode>(value), std::move(key));
}

void DictNode::removeKey(std::string_view key) {
  std::size_t slot = find(key);
  if (slot == kNotFound) return;
  vacate(slot);
  compactIfSparse();
}

void DictNode::removeAllObjects() {
  slots_.clear();
  holes_ = 0;
  index_.reset();
}

std::shared_ptr<DictNode> DictNode::deepCopy() const {
  auto copy = std::make_shared<DictNode>();
  copy->slots_.reserve(static_cast<std::size_t>(size()));
  forEachEntry([&copy](const std::string& key, const PListNodePtr& node) {
    copy->slots_.push_back(Slot{key, node->copy()});
  });
  if (copy->slots_.size() > kIndexThreshold) copy->rebuildIndex();
  return copy;
}

bool DictNode::isEqual(const PListNode* other) const {
  if (other == this) return true;
  const DictNode* dict = dynamic_cast<const DictNode*>(other);
  return dict != nullptr && isEqualToDictNode(*dict);
}

bool DictNode::isEqualToDictNode(const DictNode& other) const {
  if (size() != other.size()) return false;
  auto mine = slots_.begin();
  auto theirs = other.slots_.begin();
  for (;; ++mine, ++theirs) {
    while (mine != slots_.end() && !mine->node) ++mine;
    while (theirs != other.slots_.end() && !theirs->node) ++theirs;
    if (mine == slots_.end() || theirs == other.slots_.end())
      return mine == slots_.end() && theirs == other.slots_.end();
    if (mine->key != theirs->key || !mine->node->isEqual(theirs->node.get())) return false;
  }
}

std::uint64_t DictNode::hash() const {
  // The map part ignores order (a sum); the key-order part does not.
  std::uint64_t mapHash = 0;
  std::uint64_t orderHash = 1;
  forEachEntry([&](const std::string& key, const PListNodePtr& node) {
    std::uint64_t keyHash = hashText(key);
    mapHash += keyHash ^ node->hash();
    orderHash = 31 * orderHash + keyHash;
  });
  return 31 * (31 + mapHash) + orderHash;
}

std::string DictNode::description() const {
  std::string text = formatText("<DictNode %p {", static_cast<const void*>(this));
  forEachEntry([&text](const std::string& key, const PListNodePtr& node) {
    text += key + " = " + node->description() + "; ";
  });
  if (text.back() == ' ') text.pop_back();
  return text + "}>";
}

}  // namespace twinlens
