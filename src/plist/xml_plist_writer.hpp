#pragma once

#include "plist/dict_node.hpp"
#include "shared/data.hpp"

struct _xmlNode;

namespace twinlens {

class ArrayNode;
class BooleanNode;
class IntegerNode;
class RealNode;
class StringNode;

// Turns a tree into an XML property-list document: a "plist" element (version "1.0") holding the
// root "dict", pretty printed, UTF-8, with an XML declaration and no document type. The reader
// gives back an equal tree, except that a string node without text is left out (a dictionary
// entry together with its key), reals keep six decimals, and characters that XML cannot hold at
// all (bytes that are not UTF-8; in keys also control characters) come back as U+FFFD.
class XMLPListWriter {
 public:
  // The buffer each write() appends one whole document to.
  explicit XMLPListWriter(SharedMutableData data) : data_(std::move(data)) {}

  // Throws InvalidPListNodeTypeException for a node of an unknown type.
  void write(const DictNode& root);

 private:
  void writePListNode(const PListNode* node, _xmlNode* parent);
  void writeDict(const DictNode& node, _xmlNode* parent);
  void writeArray(const ArrayNode& node, _xmlNode* parent);
  void writeString(const StringNode& node, _xmlNode* parent);
  void writeInteger(const IntegerNode& node, _xmlNode* parent);
  void writeReal(const RealNode& node, _xmlNode* parent);
  void writeBoolean(const BooleanNode& node, _xmlNode* parent);

  SharedMutableData data_;
};

}  // namespace twinlens
