#pragma once

#include <string>
#include <string_view>

namespace twinlens {

// Text helpers for the two passes of escaping that string values get in XML property lists: the
// writer escapes a value once before the serializer escapes it again, and the reader undoes the
// second escaping after the parser has undone the first.

// The writer's own pass: & < > " ' become references to the five predefined entities, characters
// that XML 1.0 cannot carry (controls other than tab, line feed and carriage return, U+FFFE and
// U+FFFF) become numeric references so they survive the trip, and bytes that are not UTF-8 become
// U+FFFD. Sets *replaced when it had to replace bytes.
std::string escapeEntities(std::string_view text, bool* replaced = nullptr);

// Whether escapeXMLText writes " and ' as entity references too.
enum class XMLQuotes { kept, escaped };

// A text as the character data of one XML element, the single pass that Apple's property lists
// and the sample catalogues are written with: bytes that are not UTF-8 and characters XML 1.0
// forbids become U+FFFD, & < > (and, if asked, " ') become entity references, and a carriage
// return becomes "&#13;", which XML would otherwise read back as a line feed.
std::string escapeXMLText(std::string_view text, XMLQuotes quotes = XMLQuotes::kept);

// The reader's extra pass: references to the five predefined entities and numeric references
// (decimal and hexadecimal) of Unicode scalar values become their characters, in one pass; every
// other ampersand stays as it is.
std::string unescapeEntities(std::string text);

// Appends the UTF-8 form of the Unicode scalar value `c`.
void appendUTF8(char32_t c, std::string* out);

// Text that XML can carry as it is: bytes that are not UTF-8 and characters XML 1.0 forbids become
// U+FFFD. Returns false, leaving *out alone, when nothing needs replacing.
bool replaceNonXMLCharacters(std::string_view text, std::string* out);
// The same for texts that are cut at a zero byte: bytes that are not UTF-8 and zero bytes become
// U+FFFD.
bool replaceNonUTF8Characters(std::string_view text, std::string* out);

}  // namespace twinlens
