#pragma once

#include <string>
#include <vector>

#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/number_scan.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_plist_parser.hpp"
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

// A node of a type no writer knows.
class StrangeNode final : public PListNode {
 public:
  explicit StrangeNode(int type) : type_(type) {}
  int type() const override { return type_; }
  std::shared_ptr<PListNode> copy() const override { return std::make_shared<StrangeNode>(type_); }
  bool isEqual(const PListNode* other) const override { return other == this; }
  std::uint64_t hash() const override { return 0; }
  std::string description() const override { return "<StrangeNode>"; }

 private:
  int type_;
};

// Writes each parser event as one line: the operation, then its values, "-" for none.
class RecordingDelegate final : public XMLPlistParserDelegate {
  using P = XMLPlistParser;

 public:
  std::vector<std::string> events;
  ErrorRecord error;

  bool ended() const { return !events.empty() && events.back() == "parserDidEndPlist"; }
  int count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& event : events) n += event.rfind(prefix, 0) == 0;
    return n;
  }

  void didStartDict(P&, Text k) override { add("didStartDict", k); }
  void didStartDictInArray(P&, Text k) override { add("didStartDictInArray", k); }
  void didEndDict(P&, Text k) override { add("didEndDict", k); }
  void didEndDictInArray(P&, Text k) override { add("didEndDictInArray", k); }
  void didStartArray(P&, Text k) override { add("didStartArray", k); }
  void didStartArrayInArray(P&, Text k) override { add("didStartArrayInArray", k); }
  void didEndArray(P&, Text k) override { add("didEndArray", k); }
  void didEndArrayInArray(P&, Text k) override { add("didEndArrayInArray", k); }
  void foundString(P&, Text v, Text k) override { add("foundString " + show(v), k); }
  void foundStringInArray(P&, Text v, Text k) override { add("foundStringInArray " + show(v), k); }
  void foundInteger(P&, std::int32_t v, Text k) override { add("foundInteger " + show(v), k); }
  void foundIntegerInArray(P&, std::int32_t v, Text k) override {
    add("foundIntegerInArray " + show(v), k);
  }
  void foundReal(P&, double v, Text k) override { add("foundReal " + show(v), k); }
  void foundRealInArray(P&, double v, Text k) override { add("foundRealInArray " + show(v), k); }
  void foundBoolean(P&, bool v, Text k) override { add("foundBoolean " + show(v), k); }
  void foundBooleanInArray(P&, bool v, Text k) override {
    add("foundBooleanInArray " + show(v), k);
  }
  void parseErrorOccurred(P&, const ErrorRecord& record, std::int64_t line,
                          std::int64_t column) override {
    error = record;
    events.push_back("parseErrorOccurred " + std::to_string(line) + ":" + std::to_string(column));
  }
  void parserDidEndPlist(P&) override { events.push_back("parserDidEndPlist"); }

 private:
  static std::string show(Text text) { return text ? "'" + std::string(*text) + "'" : "-"; }
  static std::string show(std::int32_t value) { return std::to_string(value); }
  static std::string show(double value) { return formatFixedSix(value); }
  static std::string show(bool value) { return value ? "true" : "false"; }
  void add(const std::string& event, Text key) { events.push_back(event + " " + show(key)); }
};

// Runs the streaming parser over the file at `path`.
inline std::shared_ptr<RecordingDelegate> parseFile(const std::string& path) {
  XMLPlistParser parser(path);
  auto delegate = std::make_shared<RecordingDelegate>();
  parser.setDelegate(delegate);
  parser.parse();
  return delegate;
}

}  // namespace twinlens::testing
