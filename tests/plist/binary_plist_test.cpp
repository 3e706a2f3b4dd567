#include <gtest/gtest.h>

#include <cstring>

#include "io/data_input_stream.hpp"
#include "io/double_io.hpp"
#include "io/hex_string.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "plist/binary_plist_reader.hpp"
#include "plist/binary_plist_writer.hpp"
#include "plist_test_support.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

Data hex(std::string digits) {
  std::erase(digits, ' ');
  return hexStringToData(digits);
}

// The example tree: one entry, a = 1.
const char* kExample = "00000001 01 0000000000000001 61 00000001 0000000000000001";

std::shared_ptr<DictNode> roundTrip(const DictNode& tree) {
  ErrorRecord error;
  auto back = DictNode::dictNodeWithBinaryData(tree.binaryData(), &error);
  EXPECT_NE(back, nullptr) << error.description();
  return back;
}

TEST(BinaryPListTest, TreesAreStoredAsTheirExactBytesAndReadBack) {
  DictNode empty, example, absent, real;
  example.putInt(1, "a");
  absent.putString(std::nullopt, "n");
  auto list = std::make_shared<ArrayNode>();
  list->add(std::make_shared<StringNode>(std::nullopt));
  absent.put(list, "l");
  real.putDouble(0.5, "r");
  const std::pair<const DictNode*, const char*> cases[] = {
      {&empty, "00000000"},
      {&example, kExample},
      {&absent,
       "00000002 01 0000000000000001 6e 00000002 00 01 0000000000000001 6c 00000010 00000001"
       " 00000002 00"},
      {&real, "00000001 01 0000000000000001 72 00000008 01 0000000000000008 302e353030303030"},
  };
  for (const auto& [tree, bytes] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(tree->binaryData(), hex(bytes));
    auto back = roundTrip(*tree);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isEqual(tree));
  }
  EXPECT_FALSE(roundTrip(absent)->arrayNodeForKey("l")->stringNodeAtIndex(0)->stringValue());
  DictNode pi;
  pi.putDouble(3.14159265, "pi");
  EXPECT_EQ(roundTrip(pi)->realNodeForKey("pi")->doubleValue(), 3.141593);
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

TEST(BinaryPListTest, BadTagsKeysAndRealsFailNamingTheFault) {
  const std::string entry = "00000001 01 0000000000000001 61 ";
  const std::pair<std::string, const char*> cases[] = {
      {entry + "00000003 00", "invalid node type"},
      {entry + "00000000 00", "invalid node type"},
      {entry + "00000040 00", "invalid node type"},
      {entry + "ffffffff 00", "invalid node type"},
      {entry + "00000011 00", "invalid node type"},
      {"00000001 00 00000001 0000000000000001", "invalid dictionary key"},
      {"00000001 01 0000000000000001 ff 00000001 0000000000000001", "invalid dictionary key"},
      {"00000001 01 0000000000000002 6100 00000001 0000000000000001", "invalid dictionary key"},
      {entry + "00000008 00", "nil string; expected a double"},
  };
  for (const auto& [bytes, message] : cases) {
    SCOPED_TRACE(bytes);
    ErrorRecord error;
    EXPECT_EQ(DictNode::dictNodeWithBinaryData(hex(bytes), &error), nullptr);
    const bool real = std::string_view(message).starts_with("nil");  // the double reader's own
    EXPECT_TRUE(real ? error.isErrorWithDomain("DoubleIOErrorDomain", DoubleIO::kNoTextError)
                     : error.isErrorWithDomain("PListErrorDomain", kPListMalformedError))
        << error.domain();
    EXPECT_EQ(error.description(), message);
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

TEST(BinaryPListTest, CallerErrorsRaise) {
  EXPECT_NO_THROW(BinaryPListWriter::requireStorableCount(0xFFFFFFFEull, "size"));
  try {
    BinaryPListWriter::requireStorableCount(0xFFFFFFFFull, "size is greater than uint32_t max!");
    FAIL() << "no exception";
  } catch (const InternalInconsistencyException& exception) {
    EXPECT_STREQ(exception.what(), "size is greater than uint32_t max!");
  }
  EXPECT_THROW(BinaryPListWriter::requireStorableCount(1ull << 40, "x"),
               InternalInconsistencyException);
  EXPECT_THROW(BinaryPListReader(nullptr), ProgrammingError);

  auto data = std::make_shared<Data>();
  BinaryPListWriter writer(data);
  testing::StrangeNode strange(3);
  EXPECT_THROW(writer.writePListNode(&strange), InvalidPListNodeTypeException);
  EXPECT_EQ(*data, hex("00000003"));
}

// Each write appends one root; the reader takes them in turn and reads no byte past the last.
TEST(BinaryPListTest, WriterAppendsOneRootPerWriteAndReaderStopsAtTheEndOfEach) {
  DictNode first, second;
  first.putInt(1, "a");
  second.putBoolean(true, "b");
  auto data = std::make_shared<Data>();
  BinaryPListWriter writer(data);
  writer.write(first);
  writer.write(second);
  const std::size_t written = data->size();
  data->insert(data->end(), {0xde, 0xad, 0xbe, 0xef});
  auto stream = std::make_shared<BufferedInputStream>(std::make_shared<DataInputStream>(*data));
  BinaryPListReader reader(stream);
  EXPECT_TRUE(reader.read()->isEqual(&first));
  EXPECT_TRUE(reader.read()->isEqual(&second));
  EXPECT_EQ(stream->bytesReceived(), written);
}

TEST(BinaryPListTest, FilesAreWrittenAtomicallyAndReadBackOrFailWithTheCause) {
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

  EXPECT_EQ(DictNode::dictNodeWithContentsOfBinaryFile(dir.file("missing"), &error), nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_EQ(error.description(), std::strerror(ENOENT));

  Data bytes = tree->binaryData();
  bytes.resize(bytes.size() / 2);
  EXPECT_EQ(DictNode::dictNodeWithContentsOfBinaryFile(dir.write("cut.bin", bytes), &error),
            nullptr);
  EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                      BufferedInputStream::kEndOfDataError));
}

}  // namespace
}  // namespace twinlens
