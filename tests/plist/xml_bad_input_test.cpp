// Hostile and broken XML through both readers: each must fail cleanly with a record, load nothing
// from outside, and never hang or blow up.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include "plist/xml_plist_parser.hpp"
#include "plist_test_support.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::plistDocument;
using testing::readXML;

// A document whose key "deep" holds `inner` inside `arrays` nested arrays.
std::string nestedArrays(int arrays, const std::string& inner = "") {
  std::string open, close;
  for (int i = 0; i < arrays; ++i) {
    open += "<array>";
    close += "</array>";
  }
  return plistDocument("<dict><key>deep</key>" + open + inner + close + "</dict>");
}

// Counts every attempt of libxml2 to load something from outside while it lives.
class LoaderSpy {
 public:
  LoaderSpy() : previous_(xmlGetExternalEntityLoader()) {
    attempts_ = 0;
    xmlSetExternalEntityLoader(&LoaderSpy::load);
  }
  ~LoaderSpy() { xmlSetExternalEntityLoader(previous_); }
  int attempts() const { return attempts_; }

 private:
  static xmlParserInputPtr load(const char*, const char*, xmlParserCtxtPtr) {
    ++attempts_;
    return nullptr;
  }
  static inline int attempts_ = 0;
  xmlExternalEntityLoader previous_;
};

class XMLBadInputTest : public ::testing::Test {
 protected:
  // Runs the streaming parser over `document`.
  std::shared_ptr<testing::RecordingDelegate> stream(const std::string& document) {
    return testing::parseFile(dir_.write("input.plist", document));
  }

  testing::TempDir dir_;
};

// Both readers fail, and with the same domain: libxml2's, or ours for a declaration.
TEST_F(XMLBadInputTest, BrokenOrDeclaringXMLFailsBothReadersAlike) {
  const std::string documents[] = {
      "",
      "<plist><dict></plist>",
      "<plist><dict><key>a</key><string>x</string></dict>",
      "<plist><dict/></plist><plist/>",
      "<plist><dict><key>a</key><string>x &undeclared; y</string></dict></plist>",
      plistDocument("<dict><key>caf\xe9</key><true/></dict>"),
      "<!DOCTYPE plist [<!ENTITY name \"value\">]><plist><dict/></plist>"};
  for (const std::string& document : documents) {
    SCOPED_TRACE(document.substr(0, 80));
    const bool declaring = document.starts_with("<!DOCTYPE");
    const std::string domain = declaring ? "PListErrorDomain" : "XMLParserErrorDomain";
    const std::string part = declaring ? "entity declarations are not accepted ('name')" : "";
    ErrorRecord error;
    EXPECT_EQ(readXML(document, &error), nullptr);
    EXPECT_EQ(error.domain(), domain);
    EXPECT_NE(error.description().find(part), std::string::npos) << error.description();
    auto outcome = stream(document);
    EXPECT_FALSE(outcome->ended());
    EXPECT_EQ(outcome->count("parseErrorOccurred"), 1);
    EXPECT_EQ(outcome->error.domain(), domain);
    EXPECT_NE(outcome->error.description().find(part), std::string::npos)
        << outcome->error.description();
  }
}

TEST_F(XMLBadInputTest, ParserRecordCarriesLibxmlCodeAndPlace) {
  ErrorRecord error;
  EXPECT_EQ(readXML("<plist>\n<dict>\n</plist>", &error), nullptr);
  EXPECT_EQ(error.code(), XML_ERR_TAG_NAME_MISMATCH);
  EXPECT_NE(error.description().find("line 3"), std::string::npos) << error.description();
}

TEST_F(XMLBadInputTest, NothingIsLoadedFromOutsideAndAnExternalDocumentTypeIsIgnored) {
  LoaderSpy spy;
  std::string dtd = dir_.write("secret.dtd", std::string("<!ENTITY secret \"leaked\">"));
  std::string entityFile = dir_.write("secret.txt", std::string("leaked"));
  const std::string documents[] = {
      "<!DOCTYPE plist SYSTEM \"" + dtd +
          "\"><plist><dict><key>k</key><string>&secret;"
          "</string></dict></plist>",
      "<!DOCTYPE plist SYSTEM \"http://127.0.0.1:9/x.dtd\"><plist><dict><key>k</key>"
      "<string>&secret;</string></dict></plist>",
      "<!DOCTYPE plist [<!ENTITY ext SYSTEM \"file://" + entityFile +
          "\">]><plist><dict><key>k</key><string>&ext;</string></dict></plist>",
      "<!DOCTYPE plist [<!ENTITY % pe SYSTEM \"http://127.0.0.1:9/pe.dtd\"> %pe;]>"
      "<plist><dict/></plist>",
      "<!DOCTYPE plist [<!ENTITY img SYSTEM \"x.png\" NDATA png>]><plist><dict/></plist>",
  };
  for (const std::string& document : documents) {
    SCOPED_TRACE(document);
    ErrorRecord error;
    EXPECT_EQ(readXML(document, &error), nullptr);
    EXPECT_EQ(error.description().find("leaked"), std::string::npos);
    auto outcome = stream(document);
    EXPECT_FALSE(outcome->ended());
    EXPECT_EQ(outcome->count("parseErrorOccurred"), 1);
  }
  const std::string include =
      "<plist xmlns:xi=\"http://www.w3.org/2001/XInclude\"><dict><key>k</key>"
      "<xi:include href=\"" +
      entityFile + "\" parse=\"text\"/></dict></plist>";
  EXPECT_TRUE(stream(include)->ended());
  ErrorRecord error;
  EXPECT_EQ(readXML(include, &error), nullptr);
  // An external document type without entities is not loaded, and the document still reads.
  std::string document = "<!DOCTYPE plist SYSTEM \"http://127.0.0.1:9/x.dtd\">" +
                         plistDocument("<dict><key>k</key><integer>1</integer></dict>").substr(39);
  auto dict = readXML(document);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->integerNodeForKey("k")->longlongValue(), 1);
  EXPECT_TRUE(stream(document)->ended());
  EXPECT_EQ(error.description(), "invalid node type");
  EXPECT_EQ(spy.attempts(), 0);
}

TEST_F(XMLBadInputTest, NestingThousandsDeepFailsWithoutExhaustingTheStack) {
  std::string document = nestedArrays(20000);
  ErrorRecord error;
  EXPECT_EQ(readXML(document, &error), nullptr);
  EXPECT_EQ(error.domain(), "XMLParserErrorDomain");
  EXPECT_NE(error.description().find("depth"), std::string::npos) << error.description();
  auto outcome = stream(document);
  EXPECT_FALSE(outcome->ended());
  EXPECT_EQ(outcome->count("parseErrorOccurred"), 1);
  EXPECT_TRUE(outcome->error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
  EXPECT_EQ(outcome->error.description(), "nesting deeper than 256 elements");
}

// The deepest tree either reader takes is written by both writers and read back by the other.
TEST_F(XMLBadInputTest, TreeReaderTakesTheDeepestNestingTheBinaryFormTakes) {
  auto dict = readXML(nestedArrays(kMaxPListNestingDepth - 1, "<true/>"));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->nodeTypeForKey("deep"), kArrayNodeType);
  auto binary = DictNode::dictNodeWithBinaryData(dict->binaryData());
  ASSERT_NE(binary, nullptr);
  auto back = DictNode::dictNodeWithXMLData(binary->XMLData());
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->isEqual(dict.get()));
  ErrorRecord error;
  EXPECT_EQ(readXML(nestedArrays(kMaxPListNestingDepth, "<true/>"), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
  EXPECT_EQ(error.description(), "nesting deeper than 200 levels");
  EXPECT_TRUE(stream(nestedArrays(kMaxPListNestingDepth, "<true/>"))->ended());
}

TEST_F(XMLBadInputTest, TextBeyondTheLimitFailsBothReadersAndTextWithinReadsWhole) {
  // A reference splits the text into pieces, which libxml2 joins only up to its own cap.
  std::string text;
  for (std::size_t length = 0; length <= XMLPlistParser::kMaxTextLength; length += 21)
    text += "xxxxxxxxxxxxxxxxxxxx&amp;";
  std::string document =
      plistDocument("<dict><key>k</key><string>" + text + "</string><key>z</key><true/></dict>");
  ErrorRecord error;
  EXPECT_EQ(readXML(document, &error), nullptr);
  EXPECT_EQ(error.domain(), "XMLParserErrorDomain");
  auto outcome = stream(document);
  EXPECT_FALSE(outcome->ended());
  EXPECT_EQ(outcome->count("parseErrorOccurred"), 1);
  EXPECT_EQ(outcome->error.domain(), "PListErrorDomain");
  EXPECT_EQ(outcome->count("found"), 0);

  const std::string whole =
      plistDocument("<dict><key>k</key><string>" + std::string(1 << 20, 'x') + "</string></dict>");
  auto dict = readXML(whole);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->stringNodeForKey("k")->stringValue()->size(), std::size_t{1} << 20);
  EXPECT_TRUE(stream(whole)->ended()) << "long text within the limits reads whole";
}

}  // namespace
}  // namespace twinlens
