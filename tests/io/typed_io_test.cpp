#include <gtest/gtest.h>
#include <locale.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "io/boolean_io.hpp"
#include "io/data_input_stream.hpp"
#include "io/data_io.hpp"
#include "io/data_output_stream.hpp"
#include "io/date_io.hpp"
#include "io/double_io.hpp"
#include "io/hex_string.hpp"
#include "io/integer_io.hpp"
#include "io/string_io.hpp"
#include "shared/programming_error.hpp"
#include "support/comma_locale.hpp"
#include "support/failing_streams.hpp"
#include "support/temp_dir.hpp"

// GCC takes the free() in the replaced operator delete for a mismatch with operator new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

// The largest single allocation since the last reset, so a test can tell that a damaged length
// field did not turn into an allocation of that size.
namespace {
std::atomic<std::size_t> largestAllocation{0};
}  // namespace

void* operator new(std::size_t size) {
  std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace twinlens {
namespace {

using testing::FailingOutputStream;
using testing::TempDir;

BufferedInputStream inputOver(Data bytes) {
  return BufferedInputStream(std::make_shared<DataInputStream>(std::move(bytes)));
}

// Runs `write` against a BufferedOutputStream over a block and returns what reached the block.
template <typename Write>
Data writtenToStream(Write&& write) {
  auto block = std::make_shared<Data>();
  BufferedOutputStream stream(std::make_shared<DataOutputStream>(block));
  ErrorRecord error;
  EXPECT_TRUE(write(stream, &error)) << error.description();
  EXPECT_TRUE(stream.flush(&error));
  return *block;
}

// What `toBlock` appends to a block, checked against what `toStream` sends through a stream.
template <typename Value>
Data writtenBothWays(Value value, void (*toBlock)(Value, Data&),
                     bool (*toStream)(Value, BufferedOutputStream&, ErrorRecord*)) {
  Data block;
  toBlock(value, block);
  EXPECT_EQ(writtenToStream(
                [&](BufferedOutputStream& s, ErrorRecord* e) { return toStream(value, s, e); }),
            block);
  return block;
}

void expectEndOfData(const ErrorRecord& error) {
  EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                      BufferedInputStream::kEndOfDataError))
      << error.domain() << " " << error.code() << " " << error.description();
}

TEST(IntegerIO, WritesBigEndianReadsSignedAndUnsignedAlikeAndFailsShortInput) {
  EXPECT_EQ(writtenBothWays<std::uint32_t>(2, IntegerIO::writeUInt32, IntegerIO::writeUInt32),
            (Data{0, 0, 0, 2}));
  EXPECT_EQ(writtenBothWays<std::int32_t>(-1, IntegerIO::writeInt32, IntegerIO::writeInt32),
            (Data{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(writtenBothWays<std::int64_t>(INT64_MIN, IntegerIO::writeInt64, IntegerIO::writeInt64),
            (Data{0x80, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(writtenBothWays<std::uint64_t>(0x0102030405060708ull, IntegerIO::writeUInt64,
                                           IntegerIO::writeUInt64),
            (Data{1, 2, 3, 4, 5, 6, 7, 8}));

  Data block{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  IntegerIO::writeInt64(-2, block);
  IntegerIO::writeInt64(-2, block);
  block.insert(block.end(), {1, 2, 3});
  auto stream = inputOver(block);
  std::uint32_t u32 = 0;
  std::int32_t i32 = 0;
  std::uint64_t u64 = 0;
  std::int64_t i64 = 0;
  ASSERT_TRUE(IntegerIO::readUInt32(&u32, stream));
  ASSERT_TRUE(IntegerIO::readInt32(&i32, stream));
  ASSERT_TRUE(IntegerIO::readUInt64(&u64, stream));
  ASSERT_TRUE(IntegerIO::readInt64(&i64, stream));
  EXPECT_EQ(u32, 4294967295u);
  EXPECT_EQ(i32, -1);
  EXPECT_EQ(u64, 0xFFFFFFFFFFFFFFFEull);
  EXPECT_EQ(i64, -2);
  ErrorRecord error;
  EXPECT_FALSE(IntegerIO::readUInt32(&u32, stream, &error));
  EXPECT_EQ(u32, 0u);
  expectEndOfData(error);
  auto seven = inputOver({1, 2, 3, 4, 5, 6, 7});
  EXPECT_FALSE(IntegerIO::readInt64(&i64, seven, &error));
  EXPECT_EQ(i64, 0);
  expectEndOfData(error);
}

TEST(BooleanIO, ReadsAnyNonZeroByteAsTrueAndFailsAtTheEnd) {
  auto stream = inputOver({0x7F, 0x00, 0xFF});
  bool value = false;
  for (bool expected : {true, false, true}) {
    ASSERT_TRUE(BooleanIO::read(&value, stream));
    EXPECT_EQ(value, expected);
  }
  ErrorRecord error;
  EXPECT_FALSE(BooleanIO::read(&value, stream, &error));
  EXPECT_FALSE(value);
  expectEndOfData(error);
}

TEST(StringIO, EncodesPresenceLengthAndUtf8Bytes) {
  struct Case {
    const char* name;
    std::optional<std::string> text;
    Data expected;
  };
  const Case cases[] = {
      {"abc", std::string("abc"), {1, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'}},
      {"cut at the first zero", std::string("ab\0cd", 5), {1, 0, 0, 0, 0, 0, 0, 0, 2, 'a', 'b'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        writtenBothWays<std::optional<std::string_view>>(c.text, StringIO::write, StringIO::write),
        c.expected);
  }
}

TEST(StringIO, RoundTripsTextsOfEverySizeAndWellFormedMultibyteText) {
  std::vector<std::string> texts = {"\xE2\x82\xAC", "\xF0\x9F\x93\xB7 camera", "\xEF\xBF\xBF",
                                    "\xF4\x8F\xBF\xBF", "Caf\xC3\xA9 in Z\xC3\xBCrich, 12345678"};
  for (std::size_t size : {0u, 1u, 503u, 504u, 8191u, 8192u, 70000u}) {
    texts.emplace_back(size, 'x');
    for (std::size_t i = 0; i < size; ++i) texts.back()[i] = static_cast<char>('a' + i % 26);
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    Data block = writtenToStream(
        [&text](BufferedOutputStream& s, ErrorRecord* e) { return StringIO::write(text, s, e); });
    auto stream = inputOver(block);
    std::optional<std::string> read;
    ASSERT_TRUE(StringIO::newString(&read, stream));
    EXPECT_EQ(read, text);
  }
}

TEST(StringIO, InvalidUtf8ReadsAbsentAndKeepsThePosition) {
  struct Case {
    const char* name;
    Data bytes;
  };
  const Case cases[] = {
      {"lone continuation byte", {0x80}},
      {"overlong slash", {0xC0, 0xAF}},
      {"overlong three-byte form", {0xE0, 0x80, 0xAF}},
      {"UTF-16 surrogate", {0xED, 0xA0, 0x80}},
      {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}},
      {"cut-off sequence", {'a', 0xE2, 0x82}},
      {"invalid byte FF", {0xFF}},
      {"bad byte after eight ASCII bytes", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Data block{1};
    IntegerIO::writeUInt64(c.bytes.size(), block);
    block.insert(block.end(), c.bytes.begin(), c.bytes.end());
    StringIO::write("next", block);
    auto stream = inputOver(block);
    std::optional<std::string> text = "stale";
    ASSERT_TRUE(StringIO::read(&text, stream));
    EXPECT_FALSE(text);
    ASSERT_TRUE(StringIO::read(&text, stream));
    EXPECT_EQ(text, "next");
  }
}

TEST(StringIO, DamagedLengthCostsOnlyTheBytesThatArriveAndStreamFailureIsPassedOn) {
  // Lengths up to 2 GiB meet the end of the input; longer ones are refused before reading.
  const std::pair<std::uint64_t, bool> cases[] = {
      {2147483648ull, false}, {(1u << 20) + 1, false}, {2147483649ull, true}, {~0ull, true}};
  for (const auto& [length, refused] : cases) {
    SCOPED_TRACE(length);
    Data block{1};
    IntegerIO::writeUInt64(length, block);
    block.resize(block.size() + 1000, 'z');
    auto stream = inputOver(block);
    largestAllocation = 0;
    std::optional<std::string> text = "stale";
    ErrorRecord error;
    EXPECT_FALSE(StringIO::read(&text, stream, &error));
    EXPECT_FALSE(text);
    if (refused)
      EXPECT_TRUE(error.isErrorWithDomain("InputStreamErrorDomain", kInputStreamTooLongError));
    else
      expectEndOfData(error);
    EXPECT_LE(largestAllocation.load(), std::size_t{2} << 20);
  }

  auto sink = std::make_shared<FailingOutputStream>();
  sink->failAfter(0);
  BufferedOutputStream stream(sink);
  ErrorRecord error;
  EXPECT_FALSE(StringIO::write(std::string(10000, 'q'), stream, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOSPC));
}

TEST(DoubleIO, WritesSixDecimalsWithAPointAndReadsAsStrtodDoes) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    const char* text;  // null: not looked at
    double read;
  };
  const Case cases[] = {
      {1.5, "1.500000", 1.5},
      {0.1234567, "0.123457", 0.123457},
      {1e-7, "0.000000", 0.0},
      {-0.0, "-0.000000", -0.0},
      {1e300, nullptr, 1e300},
      {kInfinity, nullptr, kInfinity},
      {-kInfinity, nullptr, -kInfinity},
      {std::nan(""), nullptr, std::nan("")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Data block = writtenBothWays<double>(c.value, DoubleIO::write, DoubleIO::write);
    if (c.text) {
      Data expected;
      StringIO::write(c.text, expected);
      EXPECT_EQ(block, expected);
    }
    auto stream = inputOver(block);
    double value;
    ASSERT_TRUE(DoubleIO::read(&value, stream));
    EXPECT_TRUE(value == c.read || (std::isnan(value) && std::isnan(c.read))) << value;
  }

  // Reading takes what strtod takes.
  const std::pair<const char*, double> reads[] = {
      {"1.500000", 1.5}, {"  -2.25", -2.25}, {"3.25xyz", 3.25}, {"abc", 0.0},      {"", 0.0},
      {"+7", 7.0},       {"1e3", 1000.0},    {"0x1p3", 8.0},    {"\t\n 42", 42.0}, {"1,5", 1.0},
  };
  for (const auto& [text, expected] : reads) {
    SCOPED_TRACE(text);
    Data block;
    StringIO::write(text, block);
    auto stream = inputOver(block);
    double value = -1;
    ASSERT_TRUE(DoubleIO::read(&value, stream));
    EXPECT_EQ(value, expected);
  }
}

TEST(DoubleIO, AbsentTextFailsWithItsOwnRecordAndSuccessClearsTheRecord) {
  Data block{0};
  DoubleIO::write(2.0, block);
  block.insert(block.end(), {1, 0, 0});
  auto stream = inputOver(block);
  double value = 9;
  ErrorRecord error;
  EXPECT_FALSE(DoubleIO::read(&value, stream, &error));
  EXPECT_EQ(value, 0.0);
  EXPECT_TRUE(error.isErrorWithDomain("DoubleIOErrorDomain", DoubleIO::kNoTextError));
  EXPECT_EQ(error.description(), "nil string; expected a double");
  ASSERT_TRUE(DoubleIO::read(&value, stream, &error));
  EXPECT_EQ(error, ErrorRecord());
  EXPECT_FALSE(DoubleIO::read(&value, stream, &error));
  expectEndOfData(error);
}

TEST(DoubleIO, IgnoresTheProcessLocale) {
  TempDir dir;
  if (!testing::selectCommaLocale(dir)) GTEST_SKIP() << "no de_DE locale and localedef failed";
  char printed[32];
  std::snprintf(printed, sizeof printed, "%f", 1.5);
  Data written, expected, text;
  DoubleIO::write(1.5, written);
  StringIO::write("2.75", text);
  auto stream = inputOver(text);
  double read = 0;
  bool readOk = DoubleIO::read(&read, stream);
  ::setlocale(LC_ALL, "C");
  ASSERT_STREQ(printed, "1,500000") << "the locale did not switch printf to a comma";
  StringIO::write("1.500000", expected);
  EXPECT_EQ(written, expected);
  EXPECT_TRUE(readOk);
  EXPECT_EQ(read, 2.75);
}

TEST(DateIO, WritesPresenceAndTruncatedMillisecondsAndReadsThemBack) {
  auto at = [](double seconds) { return Date::withTimeIntervalSince1970(seconds); };
  const std::pair<std::optional<Date>, Data> cases[] = {
      {std::nullopt, {0}},
      {at(1.0009), {1, 0, 0, 0, 0, 0, 0, 0x03, 0xE8}},
      {at(-1.5), {1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFA, 0x24}},
      {at(1e300), {1, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},  // beyond the range
  };
  for (const auto& [date, expected] : cases) {
    SCOPED_TRACE(date ? date->timeIntervalSince1970() : -0.0);
    EXPECT_EQ(writtenBothWays<const std::optional<Date>&>(date, DateIO::write, DateIO::write),
              expected);
  }
  Data block;
  DateIO::write(std::nullopt, block);
  DateIO::write(Date::withTimeIntervalSince1970(1234.5678), block);
  auto stream = inputOver(block);
  std::optional<Date> date = Date();
  ASSERT_TRUE(DateIO::read(&date, stream));
  EXPECT_FALSE(date);
  ASSERT_TRUE(DateIO::read(&date, stream));
  ASSERT_TRUE(date);
  EXPECT_NEAR(date->timeIntervalSince1970(), 1234.567, 1e-6);

  auto truncated = inputOver({1, 0, 0});
  ErrorRecord error;
  EXPECT_FALSE(DateIO::read(&date, truncated, &error));
  EXPECT_FALSE(date);
  expectEndOfData(error);
}

TEST(DataIO, WritesLengthAndBytesAndFailsOnShortOrAbsurdInput) {
  Data block;
  DataIO::write({}, block);
  Data payload{0, 1, 2, 0xFF};
  DataIO::write(payload, block);
  EXPECT_EQ(block, (Data{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 1, 2, 0xFF}));
  auto stream = inputOver(block);
  std::optional<Data> read;
  ASSERT_TRUE(DataIO::read(&read, stream));
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->empty());
  ASSERT_TRUE(DataIO::read(&read, stream));
  EXPECT_EQ(read, payload);

  auto truncated = inputOver({0, 0, 0, 0, 0, 0, 0, 10, 1, 2, 3, 4});
  ErrorRecord error;
  EXPECT_FALSE(DataIO::read(&read, truncated, &error));
  EXPECT_FALSE(read);
  expectEndOfData(error);
  auto absurd = inputOver({0x80, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(DataIO::read(&read, absurd, &error));
  EXPECT_TRUE(error.isErrorWithDomain("InputStreamErrorDomain", kInputStreamTooLongError));
}

TEST(HexString, WritesLowerCaseReadsEitherCaseIgnoringAnOddLastCharacterAndRefusesOthers) {
  struct Case {
    const char* text;
    Data bytes;
  };
  const Case cases[] = {{"000FA0ff", {0x00, 0x0F, 0xA0, 0xFF}},
                        {"abc", {0xAB}},
                        {"a", {}},
                        {"", {}},
                        {"abg", {0xAB}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(hexStringToData(c.text), c.bytes);
  }
  const std::uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF};
  EXPECT_EQ(hexStringWithBytes(bytes, 4), "000fa0ff");
  EXPECT_EQ(hexStringWithBytes(bytes, 0), "");
  for (const char* text : {"0g", "g0", "12 4", "\xC3\xA9", "ab\xC3"}) {
    SCOPED_TRACE(text);
    try {
      hexStringToData(text);
      ADD_FAILURE() << "no exception";
    } catch (const ProgrammingError& e) {
      EXPECT_STREQ(e.what(), "Invalid hex char: not a hex char");
    }
  }
}

}  // namespace
}  // namespace twinlens
