#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "io/data_input_stream.hpp"
#include "io/double_io.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "plist/binary_plist_reader.hpp"
#include "plist/binary_plist_writer.hpp"
#include "plist_test_support.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

Data hex(const std::string& digits) {
  Data bytes;
  std::string clean;
  for (char c : digits)
    if (c != ' ') clean.push_back(c);
  for (std::size_t i = 0; i + 1 < clean.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(clean.substr(i, 2), nullptr, 16)));
  return bytes;
}

// The example tree: one entry, a = 1.
const char* kExample = "00000001 01 0000000000000001 61 00000001 0000000000000001";

std::shared_ptr<DictNode> roundTrip(const DictNode& tree) {
  ErrorRecord error;
  auto back = DictNode::dictNodeWithBinaryData(tree.binaryData(), &error);
  EXPECT_NE(back, nullptr) << error.description();
  return back;
}

TEST(BinaryPListTest, EmptyDictionaryIsFourZeroBytes) {
  EXPECT_EQ(DictNode().binaryData(), hex("00000000"));
  auto back = DictNode::dictNodeWithBinaryData(hex("00000000"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->size(), 0);
}

TEST(BinaryPListTest, ExampleTreeIsStoredInTwentySixBytes) {
  DictNode tree;
  tree.putInt(1, "a");
  EXPECT_EQ(tree.binaryData(), hex(kExample));
  EXPECT_EQ(tree.binaryData().size(), 26u);
}

TEST(BinaryPListTest, ReaderStopsAtTheEndOfTheTree) {
  Data bytes = hex(kExample);
  bytes.insert(bytes.end(), {0xde, 0xad, 0xbe, 0xef});
  auto stream = std::make_shared<BufferedInputStream>(std::make_shared<DataInputStream>(bytes));
  BinaryPListReader reader(stream);
  auto tree = reader.read();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->integerNodeForKey("a")->longlongValue(), 1);
  EXPECT_EQ(stream->bytesReceived(), 26u);
}

TEST(BinaryPListTest, StringWithoutTextIsTagTwoAndAbsentText) {
  DictNode tree;
  tree.putString(std::nullopt, "n");
  auto list = std::make_shared<ArrayNode>();
  list->add(std::make_shared<StringNode>(std::nullopt));
  tree.put(list, "l");
  EXPECT_EQ(tree.binaryData(), hex("00000002 01 0000000000000001 6e 00000002 00"
                                   " 01 0000000000000001 6c 00000010 00000001 00000002 00"));
  auto back = roundTrip(tree);
  ASSERT_NE(back, nullptr);
  EXPECT_FALSE(back->stringNodeForKey("n")->stringValue());
  EXPECT_FALSE(back->arrayNodeForKey("l")->stringNodeAtIndex(0)->stringValue());
  EXPECT_TRUE(back->isEqual(&tree));
}

TEST(BinaryPListTest, RealIsStoredAsItsSixDecimalText) {
  DictNode tree;
  tree.putDouble(0.5, "r");
  EXPECT_EQ(tree.binaryData(), hex("00000001 01 0000000000000001 72 00000008 01 0000000000000008"
                                   " 302e353030303030"));
  DictNode pi;
  pi.putDouble(3.14159265, "pi");
  EXPECT_EQ(roundTrip(pi)->realNodeForKey("pi")->doubleValue(), 3.141593);
}

TEST(BinaryPListTest, KeyOrderAndExtremeIntegersSurvive) {
  DictNode tree;
  tree.putInt(1, "z");
  tree.putInt(2, "a");
  tree.putInt(3, "m");
  tree.putInt(-1, "minus");
  tree.putLongLong(INT64_MIN, "min");
  auto back = roundTrip(tree);
  EXPECT_EQ(back->orderedKeySet(), (std::vector<std::string>{"z", "a", "m", "minus", "min"}));
  EXPECT_EQ(back->integerNodeForKey("minus")->longlongValue(), -1);
  EXPECT_EQ(back->integerNodeForKey("min")->longlongValue(), INT64_MIN);
}

TEST(BinaryPListTest, TreeOfEveryKindRoundTripsExactly) {
  auto tree = testing::sampleTree();
  tree->putString(std::nullopt, "nil");
  tree->putDouble(HUGE_VAL, "inf");
  auto back = roundTrip(*tree);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->isEqual(tree.get()));
  EXPECT_EQ(back->binaryData(), tree->binaryData());
}

TEST(BinaryPListTest, KeyStoredTwiceKeepsTheLaterNodeAtTheLaterPlace) {
  Data bytes = hex("00000003");
  for (auto [key, value] : {std::pair{"a", 1}, {"b", 2}, {"a", 3}}) {
    StringIO::write(std::string_view(key), bytes);
    IntegerIO::writeInt32(kIntegerNodeType, bytes);
    IntegerIO::writeInt64(value, bytes);
  }
  auto tree = DictNode::dictNodeWithBinaryData(bytes);
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->orderedKeySet(), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(tree->integerNodeForKey("a")->longlongValue(), 3);
}

TEST(BinaryPListTest, UnknownTagFailsWithInvalidNodeType) {
  for (const char* tag : {"00000003", "00000000", "00000040", "ffffffff", "00000011"}) {
    SCOPED_TRACE(tag);
    ErrorRecord error;
    EXPECT_EQ(DictNode::dictNodeWithBinaryData(
                  hex(std::string("00000001 01 0000000000000001 61 ") + tag + " 00"), &error),
              nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
    EXPECT_EQ(error.description(), "invalid node type");
  }
}

TEST(BinaryPListTest, EveryCutOfTheDataFailsWithEndOfData) {
  auto tree = testing::sampleTree();
  tree->putString(std::nullopt, "nil");
  Data bytes = tree->binaryData();
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    ErrorRecord error;
    Data cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    ASSERT_EQ(DictNode::dictNodeWithBinaryData(cut, &error), nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                        BufferedInputStream::kEndOfDataError))
        << error.domain() << " " << error.description();
  }
}

TEST(BinaryPListTest, AbsurdCountsOnlyLeadToEndOfData) {
  for (const char* bytes : {"ffffffff", "fffffffe 01 0000000000000001 61 00000004 01",
                            "00000001 01 0000000000000001 61 00000010 ffffffff 00000004 00",
                            "00000001 01 ffffffffffffffff"}) {
    SCOPED_TRACE(bytes);
    ErrorRecord error;
    EXPECT_EQ(DictNode::dictNodeWithBinaryData(hex(bytes), &error), nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                        BufferedInputStream::kEndOfDataError) ||
                error.isErrorWithDomain("InputStreamErrorDomain", kInputStreamTooLongError))
        << error.description();
  }
}

TEST(BinaryPListTest, RealStoredAsAbsentTextFailsWithTheDoubleRecord) {
  ErrorRecord error;
  EXPECT_EQ(
      DictNode::dictNodeWithBinaryData(hex("00000001 01 0000000000000001 72 00000008 00"), &error),
      nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("DoubleIOErrorDomain", DoubleIO::kNoTextError));
}

TEST(BinaryPListTest, AbsentOrBrokenKeyFailsTheRead) {
  for (const char* bytes : {"00000001 00 00000001 0000000000000001",
                            "00000001 01 0000000000000001 ff 00000001 0000000000000001",
                            "00000001 01 0000000000000002 6100 00000001 0000000000000001"}) {
    SCOPED_TRACE(bytes);
    ErrorRecord error;
    EXPECT_EQ(DictNode::dictNodeWithBinaryData(hex(bytes), &error), nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
    EXPECT_EQ(error.description(), "invalid dictionary key");
  }
}

TEST(BinaryPListTest, KeysTheReaderWouldRefuseOrCutAreWrittenWithReplacementCharacters) {
  struct Case {
    std::string key;
    std::string written;
  } cases[] = {{"caf\xe9", "caf\uFFFD"},
               {std::string("a\0b", 3), "a\uFFFDb"},
               {"\xC3\x28\xED\xA0\x80", "\uFFFD(\uFFFD\uFFFD\uFFFD"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    DictNode tree;
    tree.putInt(1, "a");
    tree.putInt(2, c.key);
    auto back = roundTrip(tree);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->orderedKeySet(), (std::vector<std::string>{"a", c.written}));
  }
}

TEST(BinaryPListTest, NestingIsBoundedSoHostileDataCannotExhaustTheStack) {
  auto nested = [](int depth) {
    Data bytes = hex("00000001 01 0000000000000001 6b");
    for (int i = 1; i < depth; ++i) bytes.insert(bytes.end(), {0, 0, 0, 0x10, 0, 0, 0, 1});
    bytes.insert(bytes.end(), {0, 0, 0, 0x10, 0, 0, 0, 0});
    return bytes;
  };
  EXPECT_NE(DictNode::dictNodeWithBinaryData(nested(BinaryPListReader::kMaxNestingDepth - 1)),
            nullptr);
  ErrorRecord error;
  EXPECT_EQ(DictNode::dictNodeWithBinaryData(nested(100000), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError));
  EXPECT_NE(error.description().find("nesting deeper than"), std::string::npos);
}

TEST(BinaryPListTest, DeepestReadableTreeAlsoReadsBackAsXML) {
  auto root = std::make_shared<DictNode>();
  std::shared_ptr<ArrayNode> innermost;
  PListNodePtr node = std::make_shared<IntegerNode>(1);
  for (int i = 1; i < BinaryPListReader::kMaxNestingDepth; ++i) {
    auto array = std::make_shared<ArrayNode>();
    array->add(node);
    node = array;
  }
  root->put(node, "deep");
  auto back = DictNode::dictNodeWithBinaryData(root->binaryData());
  ASSERT_NE(back, nullptr);
  ErrorRecord error;
  auto xml = DictNode::dictNodeWithXMLData(back->XMLData(), &error);
  ASSERT_NE(xml, nullptr) << error.description();
  EXPECT_TRUE(xml->isEqual(root.get()));
}

TEST(BinaryPListTest, WriterRefusesCountsThatDoNotFitBeforeWritingThem) {
  EXPECT_NO_THROW(BinaryPListWriter::requireStorableCount(0xFFFFFFFEull, "size"));
  try {
    BinaryPListWriter::requireStorableCount(0xFFFFFFFFull, "size is greater than uint32_t max!");
    FAIL() << "no exception";
  } catch (const InternalInconsistencyException& exception) {
    EXPECT_STREQ(exception.what(), "size is greater than uint32_t max!");
  }
  EXPECT_THROW(BinaryPListWriter::requireStorableCount(1ull << 40, "x"),
               InternalInconsistencyException);
}

TEST(BinaryPListTest, UnknownNodeTypeRaisesAfterItsTag) {
  class Strange final : public PListNode {
   public:
    int type() const override { return 3; }
    std::shared_ptr<PListNode> copy() const override { return std::make_shared<Strange>(); }
    bool isEqual(const PListNode* other) const override { return other == this; }
    std::uint64_t hash() const override { return 0; }
    std::string description() const override { return "<Strange>"; }
  };
  auto data = std::make_shared<Data>();
  BinaryPListWriter writer(data);
  Strange strange;
  EXPECT_THROW(writer.writePListNode(&strange), InvalidPListNodeTypeException);
  EXPECT_EQ(*data, hex("00000003"));
}

TEST(BinaryPListTest, WriterAppendsOneRootPerWriteAndReaderReadsThemInTurn) {
  DictNode first, second;
  first.putInt(1, "a");
  second.putBoolean(true, "b");
  auto data = std::make_shared<Data>();
  BinaryPListWriter writer(data);
  writer.write(first);
  writer.write(second);
  BinaryPListReader reader(
      std::make_shared<BufferedInputStream>(std::make_shared<DataInputStream>(SharedData(data))));
  EXPECT_TRUE(reader.read()->isEqual(&first));
  EXPECT_TRUE(reader.read()->isEqual(&second));
}

TEST(BinaryPListTest, ReaderNeedsAStream) {
  EXPECT_THROW(BinaryPListReader(nullptr), ProgrammingError);
}

TEST(BinaryPListTest, FilesAreWrittenAtomicallyAndReadBack) {
  testing::TempDir dir;
  std::string path = dir.file("tree.bin");
  auto tree = testing::sampleTree();
  ErrorRecord error;
  ASSERT_TRUE(tree->writeAtomicallyToBinaryFile(path, &error)) << error.description();
  EXPECT_EQ(testing::readFileBytes(path), tree->binaryData());
  auto back = DictNode::dictNodeWithContentsOfBinaryFile(path, &error);
  ASSERT_NE(back, nullptr) << error.description();
  EXPECT_TRUE(back->isEqual(tree.get()));

  EXPECT_FALSE(tree->writeAtomicallyToBinaryFile(dir.file("none/tree.bin"), &error));
  EXPECT_EQ(error.domain(), "UnixErrorDomain");
  EXPECT_EQ(testing::readFileBytes(path), tree->binaryData());
}

TEST(BinaryPListTest, MissingFileFailsWithTheSystemError) {
  testing::TempDir dir;
  ErrorRecord error;
  EXPECT_EQ(DictNode::dictNodeWithContentsOfBinaryFile(dir.file("missing"), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_EQ(error.description(), std::strerror(ENOENT));
}

TEST(BinaryPListTest, TruncatedFileFailsWithEndOfData) {
  testing::TempDir dir;
  Data bytes = testing::sampleTree()->binaryData();
  bytes.resize(bytes.size() / 2);
  std::string path = dir.write("cut.bin", bytes);
  ErrorRecord error;
  EXPECT_EQ(DictNode::dictNodeWithContentsOfBinaryFile(path, &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                      BufferedInputStream::kEndOfDataError));
}

}  // namespace
}  // namespace twinlens
