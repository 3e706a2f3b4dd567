#pragma once

#include <string>

#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"
#include "shared/data.hpp"

namespace twinlens::testing {

inline Data bytesOf(const std::string& text) {
  return Data(text.begin(), text.end());
}
inline std::string textOf(const Data& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A document whose "plist" element holds `body`.
inline std::string plistDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

inline std::shared_ptr<DictNode> readXML(const std::string& text, ErrorRecord* error = nullptr) {
  return DictNode::dictNodeWithXMLData(bytesOf(text), error);
}

// A tree with every node kind, nested, that both forms carry without loss.
inline std::shared_ptr<DictNode> sampleTree() {
  auto root = std::make_shared<DictNode>();
  root->putString("beach", "name");
  root->putInt(-1, "minus one");
  root->putLongLong(INT64_MIN, "smallest");
  root->putLongLong(INT64_MAX, "largest");
  root->putDouble(0.5, "half");
  root->putDouble(-1234.125, "negative real");
  root->putBoolean(true, "yes");
  root->putBoolean(false, "no");
  root->putString("", "empty");
  root->putString("a&b <c> \"d\" 'e' &amp; \xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb7", "escapes");
  root->putString("tab\tline\nreturn\r\nend", "white space");
  auto list = std::make_shared<ArrayNode>();
  list->add(std::make_shared<IntegerNode>(1));
  list->add(std::make_shared<StringNode>(std::string("two")));
  list->add(std::make_shared<ArrayNode>());
  auto inner = std::make_shared<DictNode>();
  inner->putString("z", "z");
  inner->putString("a", "a");
  list->add(inner);
  root->put(list, "list");
  root->put(std::make_shared<DictNode>(), "empty dict");
  root->putString("k&<>", "key a&b <c>");
  return root;
}

}  // namespace twinlens::testing
