#include "plist/plist_node.hpp"

#include "shared/text_format.hpp"

namespace twinlens {

InvalidPListNodeTypeException::InvalidPListNodeTypeException(int type)
    : ProgrammingError(formatText("invalid type %d", type)), type_(type) {}

}  // namespace twinlens
