// The catalogue parser over arbitrary bytes: a tree or a clean "PListErrorDomain" failure,
// never a crash, a hang or unbounded memory, and the same outcome whether the bytes arrive whole
// or in two pieces split anywhere.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"

namespace {

const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);

// Walks the whole tree, so that every node the parser made is read at least once.
std::size_t countNodes(const twinlens::PListValue& value) {
  std::size_t count = 1;
  if (const auto* dictionary = value.dictionaryValue())
    for (const auto& [key, child] : *dictionary) count += countNodes(child);
  if (const auto* array = value.arrayValue())
    for (const auto& child : *array) count += countNodes(child);
  return count;
}

// Structural equality, in which a NaN real equals a NaN real (operator== follows the numbers).
bool sameTree(const twinlens::PListValue& a, const twinlens::PListValue& b) {
  if (a.type() != b.type()) return false;
  if (a.type() == twinlens::PListValue::Type::Real) {
    double x = *a.realValue(), y = *b.realValue();
    return x == y || (x != x && y != y);
  }
  if (const auto* dictionary = a.dictionaryValue()) {
    const auto& other = *b.dictionaryValue();
    if (dictionary->size() != other.size()) return false;
    for (auto i = dictionary->begin(), j = other.begin(); i != dictionary->end(); ++i, ++j)
      if (i->first != j->first || !sameTree(i->second, j->second)) return false;
    return true;
  }
  if (const auto* array = a.arrayValue()) {
    const auto& other = *b.arrayValue();
    if (array->size() != other.size()) return false;
    for (std::size_t i = 0; i < array->size(); ++i)
      if (!sameTree((*array)[i], other[i])) return false;
    return true;
  }
  return a == b;
}

// The offset just past the root's start tag "<plist ...>", or past the end when there is none.
std::size_t bodyStart(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t root = text.find("<plist");
  std::size_t end = root == std::string_view::npos ? root : text.find('>', root);
  return end == std::string_view::npos ? size + 1 : end + 1;
}

bool isCleanFailure(const twinlens::ErrorRecord& error) {
  return error.isErrorWithDomain(twinlens::PListReader::errorDomain(),
                                 twinlens::kPListMalformedError) &&
         !error.description().empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using twinlens::ErrorRecord;
  using twinlens::PListReader;
  using twinlens::PListValue;

  ErrorRecord wholeError;
  std::optional<PListValue> whole = PListReader::parse(data, size, &wholeError);
  if (whole) {
    countNodes(*whole);
  } else if (!isCleanFailure(wholeError)) {
    __builtin_trap();
  }

  // A file is read in large pieces, so the prolog always arrives whole (libxml2's push parser
  // misjudges where a DOCTYPE ends when a piece ends inside it); any later byte can end a piece.
  std::size_t body = bodyStart(data, size);
  if (body > size) return 0;
  std::size_t split = body + (data[0] * 257u + data[size - 1]) % (size - body + 1);
  PListReader parser;
  ErrorRecord pieceError;
  std::optional<PListValue> pieces;
  if (parser.parseChunk(data, split, &pieceError) &&
      parser.parseChunk(data + split, size - split, &pieceError))
    pieces = parser.finish(&pieceError);
  if (!pieces && !isCleanFailure(pieceError)) __builtin_trap();
  if (whole.has_value() != pieces.has_value()) __builtin_trap();
  if (whole && !sameTree(*whole, *pieces)) __builtin_trap();
  return 0;
}
