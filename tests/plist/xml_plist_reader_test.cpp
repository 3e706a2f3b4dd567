#include "plist/xml_plist_reader.hpp"

#include <gtest/gtest.h>

#include "plist_test_support.hpp"

namespace twinlens {
namespace {

using testing::plistDocument;
using testing::readXML;

TEST(XMLPListReaderTest, ReaderIsMadeForOneDocumentAndMayReadItAgain) {
  auto bytes = std::make_shared<const Data>(
      testing::bytesOf(plistDocument("<dict><key>a</key><true/></dict>")));
  XMLPListReader reader(bytes);
  auto first = reader.read();
  auto second = reader.read();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_TRUE(first->isEqual(second.get()));
}

TEST(XMLPListReaderTest, FailuresNameWhatIsWrong) {
  struct Case {
    std::string document;
    const char* message;
  } cases[] = {
      {"<dict><key>a</key><integer>1</integer></dict>", "expected root element 'plist'"},
      {plistDocument("<array/>"), "expected root array in PList"},
      {plistDocument("<string>x</string>"), "expected root array in PList"},
      {plistDocument(""), "empty root array in PList"},
      {plistDocument("   \n "), "empty root array in PList"},
      {plistDocument("<dict/><dict/>"), "empty root array in PList"},
      {"<PList><dict/></PList>", "expected root element 'plist'"},
      {plistDocument("<dict><string>x</string><key>a</key></dict>"),
       "must have key before adding value"},
      {plistDocument("<dict><key>i</key><integer>abc</integer></dict>"),
       "string does not contain a long long: abc"},
      {plistDocument("<dict><key>r</key><real></real></dict>"),
       "string does not contain a double: "},
      // Unknown elements and children other than elements, anywhere.
      {plistDocument("<dict><key>d</key><date>2001-01-01T00:00:00Z</date></dict>"),
       "invalid node type"},
      {plistDocument("<dict><key>l</key><array><dict><key>deep</key><date/></dict></array></dict>"),
       "invalid node type"},
      {plistDocument("<dict><key>i</key><Integer>1</Integer></dict>"), "invalid node type"},
      {plistDocument("<dict><!-- a comment --><key>a</key><true/></dict>"), "invalid node type"},
      {plistDocument("<dict><key>a</key><array><!-- c --></array></dict>"), "invalid node type"},
      {plistDocument("<!-- c --><dict/>"), "invalid node type"},
      {plistDocument("<dict><?pi data?></dict>"), "invalid node type"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    ErrorRecord error;
    EXPECT_EQ(readXML(c.document, &error), nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
    EXPECT_EQ(error.description(), c.message);
  }
}

TEST(XMLPListReaderTest, VersionDocumentTypeCommentsAndInstructionsBeforeTheRootAreHarmless) {
  for (const char* document : {
           "<plist version=\"9\"><dict/></plist>",
           "<plist><dict/></plist>",
           "<?xml version=\"1.0\"?><!-- made by hand --><?app x?><plist><dict/></plist>",
           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
           "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
           "version=\"1.0\"><dict/></plist>",
       }) {
    SCOPED_TRACE(document);
    EXPECT_NE(readXML(document), nullptr);
  }
}

TEST(XMLPListReaderTest, KeyRulesOfDictionaries) {
  const std::pair<const char*, const char*> cases[] = {
      {"<key>a</key><string>x</string><string>y</string>", "a=y "},
      {"<key>a</key><key>b</key><string>1</string>", "b=1 "},
      {"<key>a</key><string>1</string><key>dangling</key>", "a=1 "},
      {"<key>a</key><string>1</string><key>b</key><string>2</string><key>a</key><string>3</string>",
       "b=2 a=3 "},
      {"<key></key><string>empty key</string>", "=empty key "},
  };
  for (const auto& [body, expected] : cases) {
    SCOPED_TRACE(body);
    auto dict = readXML(plistDocument(std::string("<dict>") + body + "</dict>"));
    ASSERT_NE(dict, nullptr);
    std::string listed;
    for (const std::string& key : dict->orderedKeySet())
      listed += key + "=" + *dict->stringNodeForKey(key)->stringValue() + " ";
    EXPECT_EQ(listed, expected);
  }
}

TEST(XMLPListReaderTest, StringsAreUnescapedTwiceAndKeysOnce) {
  auto dict = readXML(
      plistDocument("<dict><key>a&amp;b</key><string>a&amp;amp;b</string>"
                    "<key>lt</key><string>a&amp;lt;b</string>"
                    "<key>numeric</key><string>&amp;#233;&amp;#x20AC;&amp;#1;</string>"
                    "<key>loose</key><string>AT&amp;T &amp;unknown; &amp;#xD800; &amp;#;</string>"
                    "<key>once</key><string>&amp;amp;lt;</string></dict>"));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->orderedKeySet()[0], "a&b");
  EXPECT_EQ(dict->stringNodeForKey("a&b")->stringValue(), "a&b");
  EXPECT_EQ(dict->stringNodeForKey("lt")->stringValue(), "a<b");
  EXPECT_EQ(dict->stringNodeForKey("numeric")->stringValue(), "\xc3\xa9\xe2\x82\xac\x01");
  EXPECT_EQ(dict->stringNodeForKey("loose")->stringValue(), "AT&T &unknown; &#xD800; &#;");
  EXPECT_EQ(dict->stringNodeForKey("once")->stringValue(), "&lt;");
}

TEST(XMLPListReaderTest, ValueElements) {
  auto dict = readXML(plistDocument(
      "<dict><key>i</key><integer> 42 </integer><key>f</key><integer>1.9</integer>"
      "<key>t</key><true/><key>t2</key><true>ignored</true><key>n</key><false></false>"
      "<key>r</key><real>2.5</real><key>e</key><string/><key>e2</key><string></string>"
      "<key>cdata</key><string><![CDATA[<raw> & ]]></string>"
      "<key>mixed</key><string>a<b>c</b>d</string></dict>"));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->integerNodeForKey("i")->longlongValue(), 42);
  EXPECT_EQ(dict->integerNodeForKey("f")->longlongValue(), 1);
  EXPECT_TRUE(dict->booleanNodeForKey("t")->booleanValue());
  EXPECT_TRUE(dict->booleanNodeForKey("t2")->booleanValue());
  EXPECT_FALSE(dict->booleanNodeForKey("n")->booleanValue());
  EXPECT_EQ(dict->realNodeForKey("r")->doubleValue(), 2.5);
  EXPECT_EQ(dict->stringNodeForKey("e")->stringValue(), "");
  EXPECT_EQ(dict->stringNodeForKey("e2")->stringValue(), "");
  EXPECT_EQ(dict->stringNodeForKey("cdata")->stringValue(), "<raw> & ");
  EXPECT_EQ(dict->stringNodeForKey("mixed")->stringValue(), "acd");
}

}  // namespace
}  // namespace twinlens
