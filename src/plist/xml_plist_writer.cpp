#include "plist/xml_plist_writer.hpp"

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <charconv>
#include <memory>

#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_parse_guard.hpp"
#include "plist/xml_text.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

const xmlChar* xml(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

xmlNode* appendElement(xmlNode* parent, const char* name) {
  xmlNode* element = xmlNewDocNode(parent->doc, nullptr, xml(name), nullptr);
  return xmlAddChild(parent, element);
}

// The text goes in as it is; the serializer escapes it.
void appendTextElement(xmlNode* parent, const char* name, std::string_view text) {
  xmlNode* element = appendElement(parent, name);
  if (text.empty()) return;
  xmlAddChild(element,
              xmlNewDocTextLen(parent->doc, xml(text.data()), static_cast<int>(text.size())));
}

int appendToData(void* context, const char* bytes, int length) {
  static_cast<Data*>(context)->insert(static_cast<Data*>(context)->end(), bytes, bytes + length);
  return length;
}

template <typename Node>
const Node& as(const PListNode* node) {
  const Node* typed = dynamic_cast<const Node*>(node);
  if (!typed) throw InvalidPListNodeTypeException(node->type());
  return *typed;
}

}  // namespace

void XMLPListWriter::write(const DictNode& root) {
  XMLParseGuard::initializeLibrary();
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(xmlNewDoc(xml("1.0")), xmlFreeDoc);
  // Element names are interned once per document instead of copied per element.
  doc->dict = xmlDictCreate();
  xmlNode* plist = xmlNewDocNode(doc.get(), nullptr, xml("plist"), nullptr);
  xmlDocSetRootElement(doc.get(), plist);
  xmlNewProp(plist, xml("version"), xml("1.0"));
  writeDict(root, plist);
  QuietXMLErrors quiet;
  xmlSaveCtxt* save = xmlSaveToIO(appendToData, nullptr, data_.get(), "UTF-8", XML_SAVE_FORMAT);
  if (!save) throw ProgrammingError("cannot make an XML serializer");
  xmlSaveDoc(save, doc.get());
  xmlSaveClose(save);
}

void XMLPListWriter::writePListNode(const PListNode* node, xmlNode* parent) {
  if (!node) throw InvalidPListNodeTypeException(kNoNodeType);
  switch (node->type()) {
    case kDictNodeType:
      return writeDict(as<DictNode>(node), parent);
    case kArrayNodeType:
      return writeArray(as<ArrayNode>(node), parent);
    case kIntegerNodeType:
      return writeInteger(as<IntegerNode>(node), parent);
    case kStringNodeType:
      return writeString(as<StringNode>(node), parent);
    case kBooleanNodeType:
      return writeBoolean(as<BooleanNode>(node), parent);
    case kRealNodeType:
      return writeReal(as<RealNode>(node), parent);
    default:
      throw InvalidPListNodeTypeException(node->type());
  }
}

void XMLPListWriter::writeDict(const DictNode& node, xmlNode* parent) {
  xmlNode* dict = appendElement(parent, "dict");
  node.forEachEntry([this, dict](const std::string& key, const PListNodePtr& value) {
    if (value->type() == kStringNodeType && !as<StringNode>(value.get()).stringValue()) {
      logInfo("skipping nil string dict entry '%s'", key.c_str());
      return;
    }
    std::string replaced;
    if (replaceNonXMLCharacters(key, &replaced)) {
      logWarn("key '%s' holds characters XML cannot carry; writing them as U+FFFD",
              replaced.c_str());
      appendTextElement(dict, "key", replaced);
    } else {
      appendTextElement(dict, "key", key);
    }
    writePListNode(value.get(), dict);
  });
}

void XMLPListWriter::writeArray(const ArrayNode& node, xmlNode* parent) {
  xmlNode* array = appendElement(parent, "array");
  for (const PListNodePtr& element : node.list()) writePListNode(element.get(), array);
}

void XMLPListWriter::writeString(const StringNode& node, xmlNode* parent) {
  if (!node.stringValue()) {
    logWarn("not writing nil string value to XML plist");
    return;
  }
  bool replaced = false;
  std::string escaped = escapeEntities(*node.stringValue(), &replaced);
  if (replaced) logWarn("string value holds bytes that are not UTF-8; writing them as U+FFFD");
  appendTextElement(parent, "string", escaped);
}

void XMLPListWriter::writeInteger(const IntegerNode& node, xmlNode* parent) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, node.longlongValue());
  appendTextElement(parent, "integer",
                    std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void XMLPListWriter::writeReal(const RealNode& node, xmlNode* parent) {
  appendTextElement(parent, "real", formatFixedSix(node.doubleValue()));
}

void XMLPListWriter::writeBoolean(const BooleanNode& node, xmlNode* parent) {
  appendElement(parent, node.booleanValue() ? "true" : "false");
}

}  // namespace twinlens
