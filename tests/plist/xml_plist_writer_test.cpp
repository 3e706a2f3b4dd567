#include "plist/xml_plist_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "plist_test_support.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::readXML;
using testing::textOf;

TEST(XMLPListWriterTest, DocumentHasTheShapeOfAPropertyListWithKeysInTheirOrder) {
  DictNode root;
  // Values are escaped twice, keys once.
  root.putString("a&b<c", "name&");
  auto sizes = std::make_shared<ArrayNode>();
  sizes->add(std::make_shared<IntegerNode>(1));
  sizes->add(std::make_shared<IntegerNode>(2));
  root.put(sizes, "sizes");
  root.putBoolean(true, "b");
  root.putBoolean(false, "a");
  root.put(std::make_shared<DictNode>(), "empty");
  EXPECT_EQ(textOf(root.XMLData()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n  <dict>\n"
            "    <key>name&amp;</key>\n    <string>a&amp;amp;b&amp;lt;c</string>\n"
            "    <key>sizes</key>\n    <array>\n"
            "      <integer>1</integer>\n      <integer>2</integer>\n    </array>\n"
            "    <key>b</key>\n    <true/>\n    <key>a</key>\n    <false/>\n"
            "    <key>empty</key>\n    <dict/>\n  </dict>\n</plist>\n");
  EXPECT_NE(textOf(DictNode().XMLData()).find("<dict/>"), std::string::npos);
}

TEST(XMLPListWriterTest, StringWithoutTextIsLeftOutWithItsKeyOrItsPlace) {
  testing::LogCapture capture(kLogLevelInfo);
  DictNode root;
  root.putString(std::nullopt, "k");
  auto list = std::make_shared<ArrayNode>();
  list->add(std::make_shared<StringNode>(std::string("a")));
  list->add(std::make_shared<StringNode>(std::nullopt));
  list->add(std::make_shared<StringNode>(std::string("c")));
  root.put(list, "list");
  std::string text = textOf(root.XMLData());
  EXPECT_EQ(text.find("<key>k</key>"), std::string::npos);
  auto info = capture.linesStartingWith("INFO");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_NE(info[0].find("skipping nil string dict entry 'k'"), std::string::npos);
  auto warn = capture.linesStartingWith("WARN");
  ASSERT_EQ(warn.size(), 1u);
  EXPECT_NE(warn[0].find("not writing nil string value to XML plist"), std::string::npos);
  auto back = readXML(text);
  ASSERT_NE(back, nullptr);
  EXPECT_FALSE(back->containsKey("k"));
  EXPECT_EQ(back->arrayNodeForKey("list")->size(), 2u);
}

TEST(XMLPListWriterTest, NumbersAreWrittenInTheirFixedForms) {
  struct Case {
    double value;
    const char* text;
    double readBack;
  } reals[] = {
      {0.5, "<real>0.500000</real>", 0.5},
      {1e20, "<real>100000000000000000000.000000</real>", 1e20},
      {0.0000001, "<real>0.000000</real>", 0},
      {3.14159265, "<real>3.141593</real>", 3.141593},
      {-0.0, "<real>-0.000000</real>", 0},
      {HUGE_VAL, "<real>inf</real>", HUGE_VAL},
      {-HUGE_VAL, "<real>-inf</real>", -HUGE_VAL},
      {std::nan(""), "<real>nan</real>", std::nan("")},
  };
  for (const Case& c : reals) {
    SCOPED_TRACE(c.text);
    DictNode root;
    root.putDouble(c.value, "r");
    std::string text = textOf(root.XMLData());
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    auto back = readXML(text);
    ASSERT_NE(back, nullptr);
    double read = back->realNodeForKey("r")->doubleValue();
    EXPECT_TRUE(read == c.readBack || (std::isnan(read) && std::isnan(c.readBack)));
  }
  DictNode root;
  root.putLongLong(INT64_MIN, "min");
  root.putLongLong(INT64_MAX, "max");
  std::string text = textOf(root.XMLData());
  EXPECT_NE(text.find("<integer>-9223372036854775808</integer>"), std::string::npos);
  EXPECT_NE(text.find("<integer>9223372036854775807</integer>"), std::string::npos);
}

TEST(XMLPListWriterTest, CharactersXMLCannotHoldStillMakeAReadableDocument) {
  testing::LogCapture capture(kLogLevelWarn);
  DictNode root;
  std::string controls;
  for (char c = 1; c < 0x20; ++c) controls.push_back(c);
  root.putString(controls, "controls");
  root.putString(std::string("nul\0inside", 10), "nul");
  root.putString("\xef\xbf\xbe\xef\xbf\xbf", "nonchars");
  root.putString("bad\xff\xfe utf", "bytes");
  root.putString("v", "key\x01with\xff");
  ErrorRecord error;
  auto back = readXML(textOf(root.XMLData()), &error);
  ASSERT_NE(back, nullptr) << error.description();
  EXPECT_EQ(back->stringNodeForKey("controls")->stringValue(), controls);
  EXPECT_EQ(back->stringNodeForKey("nul")->stringValue(), std::string("nul\0inside", 10));
  EXPECT_EQ(back->stringNodeForKey("nonchars")->stringValue(), "\xef\xbf\xbe\xef\xbf\xbf");
  EXPECT_EQ(back->stringNodeForKey("bytes")->stringValue(), "bad\xef\xbf\xbd\xef\xbf\xbd utf");
  EXPECT_TRUE(back->containsKey("key\xef\xbf\xbdwith\xef\xbf\xbd"));
  EXPECT_EQ(capture.linesStartingWith("WARN").size(), 2u);
}

TEST(XMLPListWriterTest, UnknownNodeTypeRaisesInvalidType) {
  DictNode root;
  root.put(std::make_shared<testing::StrangeNode>(64), "odd");
  try {
    (void)root.XMLData();
    FAIL() << "no exception";
  } catch (const InvalidPListNodeTypeException& exception) {
    EXPECT_STREQ(exception.what(), "invalid type 64");
    EXPECT_EQ(exception.nodeType(), 64);
  }
}

TEST(XMLPListWriterTest, EachWriteAppendsOneWholeDocument) {
  auto data = std::make_shared<Data>();
  XMLPListWriter writer(data);
  DictNode root;
  root.putInt(1, "a");
  writer.write(root);
  writer.write(root);
  EXPECT_EQ(textOf(*data), textOf(root.XMLData()) + textOf(root.XMLData()));
}

// Reading a file passes on its error, as writing one does.
TEST(XMLPListWriterTest, WriteToFileReplacesItAtomicallyAndBothWaysReportFailure) {
  testing::TempDir dir;
  std::string path = dir.file("out.plist");
  auto tree = testing::sampleTree();
  ErrorRecord error;
  ASSERT_TRUE(tree->writeXMLToFile(path, &error)) << error.description();
  auto back = DictNode::dictNodeWithContentsOfXMLFile(path);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->isEqual(tree.get())) << back->description() << "\n" << tree->description();

  DictNode other;
  other.putInt(1, "x");
  ASSERT_TRUE(other.writeXMLToFile(path));
  EXPECT_TRUE(DictNode::dictNodeWithContentsOfXMLFile(path)->isEqual(&other));

  EXPECT_FALSE(tree->writeXMLToFile(dir.file("no/such/folder/out.plist"), &error));
  EXPECT_EQ(error.domain(), "UnixErrorDomain");
  EXPECT_EQ(error.code(), ENOENT);
  EXPECT_EQ(DictNode::dictNodeWithContentsOfXMLFile(dir.file("missing.plist"), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_NE(error.description().find("missing.plist"), std::string::npos);
  EXPECT_EQ(DictNode::dictNodeWithContentsOfXMLFile(dir.path(), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EISDIR));
}

}  // namespace
}  // namespace twinlens
