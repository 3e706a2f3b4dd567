#pragma once

#include <memory>

#include "plist/dict_node.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

struct _xmlNode;

namespace twinlens {

class ArrayNode;

// Reads a whole XML property-list document into a node tree whose root is a dictionary. Knows
// the elements "plist", "dict", "array", "key", "string", "integer", "real", "true" and "false"
// (exactly, case-sensitively) and nothing else. String values are unescaped once more after the
// parser has unescaped them, to match the writer; keys are not. Documents of other programs escape
// every string once only, and are read with Escaping::once.
class XMLPListReader {
 public:
  enum class Escaping { twice, once };

  explicit XMLPListReader(SharedData data, Escaping escaping = Escaping::twice)
      : data_(std::move(data)), escaping_(escaping) {}

  // The root dictionary, or null on failure with: the parser's record ("XMLParserErrorDomain")
  // for XML that is not well formed; a "PListErrorDomain" -1 record "expected root element
  // 'plist'", "empty root array in PList", "expected root array in PList", "invalid node type",
  // "must have key before adding value", a number that cannot be read, containers nested more
  // than kMaxPListNestingDepth deep, or a refused entity.
  // No partial tree. Each call parses the bytes afresh.
  std::shared_ptr<DictNode> read(ErrorRecord* error = nullptr) const;

 private:
  // `depth` counts the containers down to this one; the "plist" element is depth 0.
  std::shared_ptr<ArrayNode> readArray(_xmlNode* element, int depth, ErrorRecord* error) const;
  std::shared_ptr<DictNode> readDict(_xmlNode* element, int depth, ErrorRecord* error) const;
  // `depth` is that of the container around the element.
  PListNodePtr makeNode(_xmlNode* element, int depth, ErrorRecord* error) const;
  bool checkDepth(int depth, ErrorRecord* error) const;
  PListNodePtr fail(const char* message, ErrorRecord* error) const;

  SharedData data_;
  Escaping escaping_;
};

}  // namespace twinlens
