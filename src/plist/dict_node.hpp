#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plist/plist_node.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

class ArrayNode;
class BooleanNode;
class IntegerNode;
class RealNode;
class StringNode;

// A map from key text to node that also keeps the order of its keys: each key once, in the order
// in which it was last put. Putting a new key appends it; putting an existing key replaces its node
// and moves the key to the end. Lookups and puts cost constant time on average, so building a
// dictionary of n keys is linear in n. A null key or node is a caller error.
class DictNode final : public PListNode {
 public:
  using Map = std::unordered_map<std::string, PListNodePtr>;

  DictNode() = default;
  // Takes over the entries of `dict` in the order `orderedKeys` gives. The two must hold the same
  // keys, each once; anything else throws ProgrammingError.
  DictNode(Map dict, const std::vector<std::string>& orderedKeys);

  // A snapshot of the entries; changing it does not change the node.
  Map dict() const;
  int size() const { return static_cast<int>(slots_.size() - holes_); }
  bool containsKey(std::string_view key) const { return find(key) != kNotFound; }
  // All keys, in no promised order; kept for users of the library beyond the preferences.
  std::vector<std::string> keySet() const { return orderedKeySet(); }
  // All keys, in order.
  std::vector<std::string> orderedKeySet() const;
  // All nodes, in no promised order.
  PListNodeList values() const;

  // The type code of the node under `key`, or 0 when the key is absent.
  int nodeTypeForKey(std::string_view key) const;
  PListNodePtr nodeForKey(std::string_view key) const;
  // The node under `key` as the named class, or null when absent or of another kind.
  std::shared_ptr<ArrayNode> arrayNodeForKey(std::string_view key) const;
  std::shared_ptr<BooleanNode> booleanNodeForKey(std::string_view key) const;
  std::shared_ptr<DictNode> dictNodeForKey(std::string_view key) const;
  std::shared_ptr<IntegerNode> integerNodeForKey(std::string_view key) const;
  std::shared_ptr<RealNode> realNodeForKey(std::string_view key) const;
  std::shared_ptr<StringNode> stringNodeForKey(std::string_view key) const;

  void put(PListNodePtr node, std::string key);
  // An absent text stores a StringNode without text.
  void putString(std::optional<std::string> value, std::string key);
  void putInt(std::int32_t value, std::string key);
  void putLongLong(std::int64_t value, std::string key);
  void putBoolean(bool value, std::string key);
  void putDouble(double value, std::string key);
  // An absent key changes nothing.
  void removeKey(std::string_view key);
  void removeAllObjects();

  // Calls visit(key, node) for every entry, in key order. The dictionary must not change
  // meanwhile.
  template <typename Visit>
  void forEachEntry(Visit&& visit) const {
    for (const Slot& slot : slots_)
      if (slot.node) visit(slot.key, slot.node);
  }

  int type() const override { return kDictNodeType; }
  std::shared_ptr<PListNode> copy() const override { return deepCopy(); }
  std::shared_ptr<DictNode> deepCopy() const;
  bool isEqual(const PListNode* other) const override;
  // The same keys in the same order, with equal nodes under them.
  bool isEqualToDictNode(const DictNode& other) const;
  std::uint64_t hash() const override;
  // "<DictNode 0x... {key = <node>; ...}>"
  std::string description() const override;

  // XML property-list documents. A failed read returns null with the parser's, the file's or a
  // "PListErrorDomain" record; no partial tree.
  static std::shared_ptr<DictNode> dictNodeWithContentsOfXMLFile(const std::string& path,
                                                                 ErrorRecord* error = nullptr);
  static std::shared_ptr<DictNode> dictNodeWithXMLData(const Data& data,
                                                       ErrorRecord* error = nullptr);
  // A document as other programs write it, each string escaped once.
  static std::shared_ptr<DictNode> dictNodeWithStandardXMLData(const Data& data,
                                                               ErrorRecord* error = nullptr);
  // The whole file, following symbolic links: the "UnixErrorDomain" record "%@: %s" of one that
  // cannot be read, EFBIG for one larger than the XML parser can take.
  static std::optional<Data> contentsOfFile(const std::string& path, ErrorRecord* error = nullptr);
  Data XMLData() const;
  // Replaces the file atomically; on failure the file is left as it was.
  bool writeXMLToFile(const std::string& path, ErrorRecord* error = nullptr) const;

  // The binary node form.
  static std::shared_ptr<DictNode> dictNodeWithContentsOfBinaryFile(const std::string& path,
                                                                    ErrorRecord* error = nullptr);
  static std::shared_ptr<DictNode> dictNodeWithBinaryData(const Data& data,
                                                          ErrorRecord* error = nullptr);
  Data binaryData() const;
  bool writeAtomicallyToBinaryFile(const std::string& path, ErrorRecord* error = nullptr) const;

 private:
  // A slot whose node is null is a hole left by a key that moved or went; holes are squeezed out
  // once they make up half of the slots.
  struct Slot {
    std::string key;
    PListNodePtr node;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept;
  };
  using Index = std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>>;

  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
  // Small dictionaries are searched directly; larger ones get an index from key to slot.
  static constexpr std::size_t kIndexThreshold = 16;

  std::size_t find(std::string_view key) const;
  void append(std::string key, PListNodePtr node);
  void vacate(std::size_t slot);
  void compactIfSparse();
  void rebuildIndex();

  std::vector<Slot> slots_;
  std::size_t holes_ = 0;
  std::unique_ptr<Index> index_;
};

}  // namespace twinlens
