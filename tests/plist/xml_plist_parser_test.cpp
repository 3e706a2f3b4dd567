#include "plist/xml_plist_parser.hpp"

#include <gtest/gtest.h>

#include "plist_test_support.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::plistDocument;

class XMLPlistParserTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::RecordingDelegate> parse(const std::string& document) {
    return testing::parseFile(dir_.write("doc.plist", document));
  }
  std::vector<std::string> events(const std::string& body) {
    return parse(plistDocument(body))->events;
  }

  testing::TempDir dir_;
};

TEST_F(XMLPlistParserTest, EventsCarryTheKeysOfTheirValuesOrTheirArray) {
  using Events = std::vector<std::string>;
  const std::pair<const char*, Events> cases[] = {
      {"<dict><key>a</key><array><integer>1</integer><integer>2</integer></array></dict>",
       {"didStartArray 'a'", "foundIntegerInArray 1 'a'", "foundIntegerInArray 2 'a'",
        "didEndArray 'a'"}},
      {"<dict><key>s</key><string>x</string><key>i</key><integer> -7 </integer>"
       "<key>r</key><real>2.5</real><key>t</key><true/><key>f</key><false/>"
       "<key>e</key><string></string></dict>",
       {"foundString 'x' 's'", "foundInteger -7 'i'", "foundReal 2.500000 'r'",
        "foundBoolean true 't'", "foundBoolean false 'f'", "foundString - 'e'"}},
      {"<dict><key>photo</key><dict><key>w</key><integer>3</integer>"
       "<key>tags</key><array><string>sea</string><array><true/></array>"
       "<dict><key>x</key><integer>1</integer></dict></array></dict>"
       "<key>after</key><integer>9</integer></dict>",
       {"didStartDict 'photo'", "foundInteger 3 'w'", "didStartArray 'tags'",
        "foundStringInArray 'sea' 'tags'", "didStartArrayInArray 'tags'",
        "foundBooleanInArray true 'tags'", "didEndArrayInArray 'tags'",
        "didStartDictInArray 'tags'", "foundInteger 1 'x'", "didEndDictInArray 'tags'",
        "didEndArray 'tags'", "didEndDict 'photo'", "foundInteger 9 'after'"}},
      {"<array><integer>1</integer><dict><key>k</key><string>v</string></dict>"
       "<array><false/></array></array>",
       {"foundIntegerInArray 1 -", "foundString 'v' 'k'", "didStartArrayInArray -",
        "foundBooleanInArray false -", "didEndArrayInArray -"}},
      {"<string>alone</string>", {}},
      {"<dict><key>big</key><integer>3000000000</integer><key>small</key>"
       "<integer>-3000000000</integer><key>bad</key><integer>x</integer></dict>",
       {"foundInteger 2147483647 'big'", "foundInteger -2147483648 'small'",
        "foundInteger 0 'bad'"}},
      {"<dict><key>d</key><date>2001</date><key>i</key><integer>1</integer></dict>",
       {"foundInteger 1 'i'"}},
      {"<dict><key>a&amp;b</key><string>a&amp;amp;b</string></dict>", {"foundString 'a&b' 'a&b'"}},
      {"<dict><key>k</key><string>one <![CDATA[two]]> &amp;amp; three</string></dict>",
       {"foundString 'one two & three' 'k'"}},
      {"<dict><key>outer</key><dict><key>a</key><key>b</key><integer>1</integer>"
       "<key>left</key></dict><key>n</key><integer>2</integer></dict>",
       {"didStartDict 'outer'", "foundInteger 1 'b'", "didEndDict 'outer'", "foundInteger 2 'n'"}},
      {"<dict><key>outer</key><dict><integer>1</integer></dict></dict>",
       {"didStartDict 'outer'", "foundInteger 1 -", "didEndDict 'outer'"}},
  };
  for (const auto& [body, expected] : cases) {
    SCOPED_TRACE(body);
    Events all = expected;
    all.push_back("parserDidEndPlist");
    EXPECT_EQ(events(body), all);
  }
}

TEST_F(XMLPlistParserTest, UnreadableRealIsLoggedAndDeliveredAsZero) {
  testing::LogCapture capture(kLogLevelError);
  EXPECT_EQ(events("<dict><key>r</key><real>abc</real></dict>"),
            (std::vector<std::string>{"foundReal 0.000000 'r'", "parserDidEndPlist"}));
  auto lines = capture.linesStartingWith("ERROR");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("error scanning double from 'abc'"), std::string::npos);
}

TEST_F(XMLPlistParserTest, EventsOfAWrittenDocumentMatchItsTree) {
  DictNode root;
  root.putString("x", "s");
  auto list = std::make_shared<ArrayNode>();
  list->add(std::make_shared<RealNode>(0.25));
  root.put(list, "l");
  EXPECT_EQ(parse(testing::textOf(root.XMLData()))->events,
            (std::vector<std::string>{"foundString 'x' 's'", "didStartArray 'l'",
                                      "foundRealInArray 0.250000 'l'", "didEndArray 'l'",
                                      "parserDidEndPlist"}));
}

TEST_F(XMLPlistParserTest, ParseErrorIsReportedWithItsPlaceAndEndsTheRun) {
  auto delegate = parse("<plist><dict><key>a</key><integer>1</integer>\n<key>b</dict></plist>");
  ASSERT_EQ(delegate->events.size(), 2u);
  EXPECT_EQ(delegate->events[0], "foundInteger 1 'a'");
  EXPECT_EQ(delegate->events[1].rfind("parseErrorOccurred 2:", 0), 0u) << delegate->events[1];
  EXPECT_EQ(delegate->error.domain(), "XMLParserErrorDomain");
  EXPECT_NE(delegate->error.description().find("mismatch"), std::string::npos);
}

// A missing file is a parse error at 0:0; a run after a failure starts afresh.
TEST_F(XMLPlistParserTest, MissingFileIsAParseErrorAndASecondRunStartsAfresh) {
  std::string path = dir_.file("doc.plist");
  XMLPlistParser parser(path);
  auto delegate = std::make_shared<testing::RecordingDelegate>();
  parser.setDelegate(delegate);
  parser.parse();
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"parseErrorOccurred 0:0"}));
  EXPECT_TRUE(delegate->error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  dir_.write("doc.plist", std::string("<plist><dict><key>a</key><array><integer>1"));
  parser.parse();
  EXPECT_EQ(delegate->events.back().rfind("parseErrorOccurred", 0), 0u) << delegate->events.back();
  dir_.write("doc.plist", plistDocument("<dict><key>k</key><integer>5</integer></dict>"));
  delegate->events.clear();
  parser.parse();
  EXPECT_EQ(delegate->events,
            (std::vector<std::string>{"foundInteger 5 'k'", "parserDidEndPlist"}));
}

TEST_F(XMLPlistParserTest, LargeFileIsReadInPieces) {
  std::string body = "<dict><key>l</key><array>";
  for (int i = 0; i < 50000; ++i) body += "<integer>" + std::to_string(i) + "</integer>";
  body += "</array></dict>";
  auto recorded = events(body);
  ASSERT_EQ(recorded.size(), 50003u);
  EXPECT_EQ(recorded[1], "foundIntegerInArray 0 'l'");
  EXPECT_EQ(recorded[50000], "foundIntegerInArray 49999 'l'");
  EXPECT_EQ(recorded.back(), "parserDidEndPlist");
}

}  // namespace
}  // namespace twinlens
