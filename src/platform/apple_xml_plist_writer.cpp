#include "platform/apple_xml_plist_writer.hpp"

#include <charconv>
#include <cmath>
#include <string>
#include <typeinfo>

#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_text.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

constexpr const char* kPrologue =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

// Writes each node on lines indented by `level` tabs; a container at level n is nested n + 1 deep.
class Writer {
 public:
  std::string out;

  bool node(const PListNode& node, int level, ErrorRecord* error) {
    if (const auto* dict = dynamic_cast<const DictNode*>(&node))
      return dictionary(*dict, level, error);
    if (const auto* array = dynamic_cast<const ArrayNode*>(&node))
      return list(*array, level, error);
    if (const auto* text = dynamic_cast<const StringNode*>(&node))
      element("string", escapeXMLText(text->stringValue().value_or(""), XMLQuotes::escaped), level);
    else if (const auto* integer = dynamic_cast<const IntegerNode*>(&node))
      element("integer", std::to_string(integer->longlongValue()), level);
    else if (const auto* real = dynamic_cast<const RealNode*>(&node))
      element("real", AppleXMLPListWriter::realText(real->doubleValue()), level);
    else if (const auto* flag = dynamic_cast<const BooleanNode*>(&node))
      line(flag->booleanValue() ? "<true/>" : "<false/>", level);
    else
      throw InvalidPListNodeTypeException(node.type());
    return true;
  }

 private:
  static bool isWritten(const PListNode& node) {
    const auto* text = dynamic_cast<const StringNode*>(&node);
    return !text || text->stringValue();
  }

  bool enter(int level, const char* name, std::size_t size, ErrorRecord* error) {
    if (level + 1 > kMaxPListNestingDepth) {
      TL_SET_ERROR(error, &typeid(AppleXMLPListWriter), kPListErrorDomain, kPListMalformedError,
                   "nesting deeper than %d levels", kMaxPListNestingDepth);
      return false;
    }
    line(formatText(size == 0 ? "<%s/>" : "<%s>", name), level);
    return true;
  }

  bool dictionary(const DictNode& dict, int level, ErrorRecord* error) {
    if (!enter(level, "dict", static_cast<std::size_t>(dict.size()), error)) return false;
    if (dict.size() == 0) return true;
    bool ok = true;
    dict.forEachEntry([&](const std::string& key, const PListNodePtr& value) {
      if (!ok || !isWritten(*value)) return;
      element("key", escapeXMLText(key, XMLQuotes::escaped), level + 1);
      ok = node(*value, level + 1, error);
    });
    line("</dict>", level);
    return ok;
  }

  bool list(const ArrayNode& array, int level, ErrorRecord* error) {
    if (!enter(level, "array", array.list().size(), error)) return false;
    if (array.list().empty()) return true;
    for (const PListNodePtr& item : array.list())
      if (isWritten(*item) && !node(*item, level + 1, error)) return false;
    line("</array>", level);
    return true;
  }

  void element(const char* name, const std::string& text, int level) {
    line(formatText("<%s>%s</%s>", name, text.c_str(), name), level);
  }

  void line(std::string_view text, int level) {
    out.append(static_cast<std::size_t>(level), '\t');
    out += text;
    out += '\n';
  }
};

}  // namespace

std::string AppleXMLPListWriter::realText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
  char digits[32];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return std::string(digits, end);
}

std::optional<Data> AppleXMLPListWriter::dataWithDictionary(const DictNode& root,
                                                            ErrorRecord* error) {
  Writer writer;
  writer.out = kPrologue;
  if (!writer.node(root, 0, error)) return std::nullopt;
  writer.out += "</plist>\n";
  return Data(writer.out.begin(), writer.out.end());
}

}  // namespace twinlens
