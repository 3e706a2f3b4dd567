#include "platform/script_wire.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "io/integer_io.hpp"

namespace twinlens {
namespace {

using Descriptor = AppleEventDescriptor;

Data header(const char (&type)[5], char kind, std::uint32_t length) {
  Data bytes;
  IntegerIO::writeUInt32(fourCharCode(type), bytes);
  bytes.push_back(static_cast<std::uint8_t>(kind));
  IntegerIO::writeUInt32(length, bytes);
  return bytes;
}

Data concat(Data first, const Data& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Data nestedLists(std::size_t depth) {
  Data bytes;
  for (std::size_t i = 1; i < depth; ++i) bytes = concat(std::move(bytes), header("list", 'i', 1));
  return concat(std::move(bytes), header("list", 'i', 0));
}

Descriptor sampleAnswer() {
  return Descriptor::recordWithUserFields(
      {{"_Id", Descriptor::list({Descriptor::int32(4), Descriptor::int32(-1)})},
       {"_Caption", Descriptor::list({Descriptor::text("Strand"), Descriptor::text("")})},
       {"_Flags", Descriptor::list({Descriptor::boolean(true), Descriptor::null(),
                                    Descriptor::real(2.5), Descriptor::list({})})}});
}

void expectMalformed(const ErrorRecord& error, const std::string& part) {
  EXPECT_EQ(error.domain(), kScriptWireErrorDomain);
  EXPECT_EQ(error.code(), kScriptCorruptAnswerError);
  EXPECT_NE(error.description().find(part), std::string::npos) << error.description();
}

TEST(ScriptWire, DescriptorsSurviveTheRoundTrip) {
  for (const Descriptor& original :
       {sampleAnswer(), Descriptor::list({}), Descriptor::null(), Descriptor::text(""),
        Descriptor::withItems(fourCharCode("obj "), {Descriptor::typeCode(fourCharCode("pcls"))}),
        Descriptor(fourCharCode("\0\0\0\0"), Data{0, 1, 2, 255})}) {
    const Data bytes = encodeDescriptor(original);
    ErrorRecord error;
    const std::optional<Descriptor> decoded = decodeDescriptor(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(decoded) << error.description();
    EXPECT_EQ(*decoded, original);
  }
}

TEST(ScriptWire, EveryTruncationOfADescriptorIsAnErrorAndLengthsAndCountsAreNotTrusted) {
  const Data bytes = encodeDescriptor(sampleAnswer());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    ErrorRecord error;
    EXPECT_FALSE(decodeDescriptor(bytes.data(), length, &error));
    expectMalformed(error, "at byte");
  }

  struct Case {
    const char* name;
    Data bytes;
    const char* failure;
  };
  Data trailing = encodeDescriptor(Descriptor::int32(1));
  trailing.push_back(0);
  const Case cases[] = {
      {"byte length beyond the input", header("utxt", 'b', 0xFFFFFFFF), "cut short"},
      {"byte length one beyond the input", concat(header("utxt", 'b', 3), {'h', 'i'}), "cut short"},
      {"item count beyond the input", header("list", 'i', 0xFFFFFFFF), "more items than bytes"},
      {"count that would fit one-byte items",
       [] {
         Data bytes = header("list", 'i', 4);
         bytes.resize(bytes.size() + 4 * 8);
         return bytes;
       }(),
       "more items than bytes"},
      {"unknown kind", header("long", 'x', 0), "unknown descriptor kind"},
      {"bytes after the value", trailing, "bytes after the descriptor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrorRecord error;
    EXPECT_FALSE(decodeDescriptor(c.bytes.data(), c.bytes.size(), &error));
    expectMalformed(error, c.failure);
  }
}

TEST(ScriptWire, NestingIsLimitedWithoutDeepRecursion) {
  const Data deepest = nestedLists(kScriptDescriptorDepthLimit);
  EXPECT_TRUE(decodeDescriptor(deepest.data(), deepest.size()));

  const Data tooDeep = nestedLists(kScriptDescriptorDepthLimit + 1);
  ErrorRecord error;
  EXPECT_FALSE(decodeDescriptor(tooDeep.data(), tooDeep.size(), &error));
  expectMalformed(error, "nested too deeply");

  const Data hostile = nestedLists(1'000'000);
  EXPECT_FALSE(decodeDescriptor(hostile.data(), hostile.size()));
}

TEST(ScriptWire, RequestsCarryTheTextAfterTheirTagAndAnEmptyReplyIsAFailureOfZero) {
  const Data request = encodeRequest("tell application \"iPhoto\"\nquit\nend tell\n");
  EXPECT_EQ(request.front(), 'R');
  EXPECT_EQ(decodeRequest(request.data(), request.size()),
            "tell application \"iPhoto\"\nquit\nend tell\n");
  EXPECT_EQ(decodeRequest(encodeRequest("").data(), 1), "");

  ErrorRecord error;
  const Data reply = encodeReply(ScriptOutcome::success(Descriptor::null()));
  EXPECT_FALSE(decodeRequest(reply.data(), reply.size(), &error));
  expectMalformed(error, "not a script request");
  EXPECT_FALSE(decodeRequest(nullptr, 0));

  // Replies with results and with failures travel in the server and host tests.
  const Data empty = encodeReply(ScriptOutcome{});
  std::optional<ScriptOutcome> decoded = decodeReply(empty.data(), empty.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->errorInfo, ScriptOutcome::failure(0, "").errorInfo)
      << "a failure without entries travels as 0 and an empty text";
}

TEST(ScriptWire, MalformedRepliesAreErrors) {
  Data trailing = encodeReply(ScriptOutcome::success(Descriptor::int32(3)));
  trailing.push_back('x');
  const std::pair<Data, const char*> cases[] = {
      {{}, "empty script answer"},
      {{'Q', 0, 0}, "unknown script answer"},
      {{'E', 0xFF, 0xFF}, "error number cut short"},
      {{'S'}, "cut short"},
      {trailing, "bytes after the descriptor"},
  };
  for (const auto& [bytes, failure] : cases) {
    SCOPED_TRACE(failure);
    ErrorRecord error;
    EXPECT_FALSE(decodeReply(bytes.data(), bytes.size(), &error));
    expectMalformed(error, failure);
  }
}

class ScriptFrames : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0); }
  void TearDown() override {
    for (int end : ends_)
      if (end >= 0) ::close(end);
  }
  void closeEnd(int which) {
    ::close(ends_[which]);
    ends_[which] = -1;
  }
  void writeRaw(const Data& bytes) {
    ASSERT_EQ(::write(ends_[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  static ScriptDeadline soon() {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
  }

  int ends_[2] = {-1, -1};
};

TEST_F(ScriptFrames, FramesFollowOneAnotherOnOneConnection) {
  const Data first = encodeRequest("one"), second(100'000, 7);
  ASSERT_TRUE(writeScriptFrame(ends_[1], first, scriptDeadlineNever()));
  std::thread writer(
      [&] { EXPECT_TRUE(writeScriptFrame(ends_[1], second, scriptDeadlineNever())); });
  EXPECT_EQ(readScriptFrame(ends_[0], scriptDeadlineNever()), first);
  EXPECT_EQ(readScriptFrame(ends_[0], scriptDeadlineNever()), second);
  writer.join();
}

TEST_F(ScriptFrames, ConnectionClosedBetweenFramesIsCleanAndWithinOneIsInvalid) {
  const Data frame{0, 0, 0, 3, 'S', 1, 2};
  writeRaw(frame);
  writeRaw(Data(frame.begin(), frame.end() - 1));
  closeEnd(1);
  bool clean = true;
  ErrorRecord error;
  EXPECT_EQ(readScriptFrame(ends_[0], scriptDeadlineNever()), Data({'S', 1, 2}));
  EXPECT_FALSE(readScriptFrame(ends_[0], scriptDeadlineNever(), &error, &clean));
  EXPECT_FALSE(clean);
  EXPECT_TRUE(error.isErrorWithDomain(kScriptWireErrorDomain, kScriptConnectionInvalidError));

  closeEnd(0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0);
  closeEnd(1);
  error = ErrorRecord();
  EXPECT_FALSE(readScriptFrame(ends_[0], scriptDeadlineNever(), &error, &clean));
  EXPECT_TRUE(clean);
  EXPECT_TRUE(error.domain().empty());
}

TEST_F(ScriptFrames, OversizedLengthSilentPeerAndClosedPeerAreErrorsNotWaitsOrSignals) {
  Data huge;
  IntegerIO::writeUInt32(kScriptFrameLimit + 1, huge);
  writeRaw(huge);
  ErrorRecord error;
  EXPECT_FALSE(readScriptFrame(ends_[0], scriptDeadlineNever(), &error));
  EXPECT_TRUE(error.isErrorWithDomain(kScriptWireErrorDomain, kScriptCorruptAnswerError));

  EXPECT_FALSE(readScriptFrame(ends_[0], soon(), &error));
  EXPECT_TRUE(error.isErrorWithDomain(kScriptWireErrorDomain, kScriptTimedOutError));

  writeRaw({0, 0, 0, 5, 'S'});
  EXPECT_FALSE(readScriptFrame(ends_[0], soon(), &error));
  EXPECT_TRUE(error.isErrorWithDomain(kScriptWireErrorDomain, kScriptTimedOutError));

  closeEnd(0);
  EXPECT_FALSE(writeScriptFrame(ends_[1], encodeRequest("x"), scriptDeadlineNever(), &error));
  EXPECT_TRUE(error.isErrorWithDomain(kScriptWireErrorDomain, kScriptConnectionInvalidError));
}

}  // namespace
}  // namespace twinlens
