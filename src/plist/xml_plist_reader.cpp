#include "plist/xml_plist_reader.hpp"

#include <libxml/tree.h>

#include <cstring>

#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "plist/xml_parse_guard.hpp"
#include "plist/xml_text.hpp"

namespace twinlens {

namespace {

bool isCharacterData(const xmlNode* node) {
  return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

bool isElementNamed(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE &&
         std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// All character data beneath the element, in document order.
std::string stringValue(xmlNode* element) {
  xmlNode* child = element->children;
  if (!child) return std::string();
  if (!child->next && isCharacterData(child) && child->content)
    return std::string(reinterpret_cast<const char*>(child->content));
  xmlChar* content = xmlNodeGetContent(element);
  std::string value = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return value;
}

}  // namespace

std::shared_ptr<DictNode> XMLPListReader::read(ErrorRecord* error) const {
  ErrorRecord failure;
  XMLDocPtr doc = parseXMLDocument(data_->data(), data_->size(), &failure);
  if (!doc) {
    if (error) detail::setErrorAt(error, this, __FILE__, __LINE__, std::move(failure));
    return nullptr;
  }
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root || !isElementNamed(root, "plist")) {
    fail("expected root element 'plist'", error);
    return nullptr;
  }
  std::shared_ptr<ArrayNode> values = readArray(root, 0, error);
  if (!values) return nullptr;
  if (values->size() != 1) {
    fail("empty root array in PList", error);
    return nullptr;
  }
  if (values->arrayElementsType() != kDictNodeType) {
    fail("expected root array in PList", error);
    return nullptr;
  }
  return values->dictNodeAtIndex(0);
}

PListNodePtr XMLPListReader::fail(const char* message, ErrorRecord* error) const {
  TL_SET_ERROR(error, this, kPListErrorDomain, kPListMalformedError, "%s", message);
  return nullptr;
}

bool XMLPListReader::checkDepth(int depth, ErrorRecord* error) const {
  if (depth <= kMaxPListNestingDepth) return true;
  TL_SET_ERROR(error, this, kPListErrorDomain, kPListMalformedError,
               "nesting deeper than %d levels", kMaxPListNestingDepth);
  return false;
}

std::shared_ptr<ArrayNode> XMLPListReader::readArray(xmlNode* element, int depth,
                                                     ErrorRecord* error) const {
  if (!checkDepth(depth, error)) return nullptr;
  PListNodeList nodes;
  for (xmlNode* child = element->children; child; child = child->next) {
    if (isCharacterData(child)) continue;
    PListNodePtr node = makeNode(child, depth, error);
    if (!node) return nullptr;
    nodes.push_back(std::move(node));
  }
  return std::make_shared<ArrayNode>(std::move(nodes));
}

std::shared_ptr<DictNode> XMLPListReader::readDict(xmlNode* element, int depth,
                                                   ErrorRecord* error) const {
  if (!checkDepth(depth, error)) return nullptr;
  auto dict = std::make_shared<DictNode>();
  std::optional<std::string> key;
  for (xmlNode* child = element->children; child; child = child->next) {
    if (isCharacterData(child)) continue;
    if (isElementNamed(child, "key")) {
      key = stringValue(child);
      continue;
    }
    PListNodePtr node = makeNode(child, depth, error);
    if (!node) return nullptr;
    if (!key) {
      fail("must have key before adding value", error);
      return nullptr;
    }
    // The key stays current: a second value without a new key replaces the first.
    dict->put(std::move(node), *key);
  }
  return dict;
}

PListNodePtr XMLPListReader::makeNode(xmlNode* element, int depth, ErrorRecord* error) const {
  if (element->type != XML_ELEMENT_NODE) return fail("invalid node type", error);
  const char* name = reinterpret_cast<const char*>(element->name);
  if (std::strcmp(name, "array") == 0) return readArray(element, depth + 1, error);
  if (std::strcmp(name, "dict") == 0) return readDict(element, depth + 1, error);
  if (std::strcmp(name, "true") == 0) return std::make_shared<BooleanNode>(true);
  if (std::strcmp(name, "false") == 0) return std::make_shared<BooleanNode>(false);
  if (std::strcmp(name, "integer") == 0)
    return IntegerNode::withString(stringValue(element), error);
  if (std::strcmp(name, "real") == 0) return RealNode::withString(stringValue(element), error);
  if (std::strcmp(name, "string") == 0)
    return std::make_shared<StringNode>(escaping_ == Escaping::twice
                                            ? unescapeEntities(stringValue(element))
                                            : stringValue(element));
  return fail("invalid node type", error);
}

}  // namespace twinlens
