#include "platform/apple_event_descriptor.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace twinlens {
namespace {

template <typename T>
AppleEventDescriptor numberOfType(const char (&type)[5], T value) {
  Data bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return AppleEventDescriptor(fourCharCode(type), bytes);
}

TEST(FourCharCode, PacksBigEndFirstAndPrintsUnprintableBytesEscaped) {
  EXPECT_EQ(fourCharCode("utxt"), 0x75747874u);
  EXPECT_EQ(fourCharCodeText(fourCharCode("reco")), "reco");
  EXPECT_EQ(fourCharCodeText(0x6F626A00u), "obj\\x00");
  EXPECT_EQ(fourCharCodeText(0xFF202020u), "\\xFF   ");
}

TEST(AppleEventDescriptor, TextNumberBooleanAndCodeValuesDependOnTypeAndSize) {
  EXPECT_EQ(AppleEventDescriptor::text("Bildschirmfoto ä").stringValue(), "Bildschirmfoto ä");
  EXPECT_EQ(AppleEventDescriptor(fourCharCode("TEXT"), Data{'h', 'i'}).stringValue(), "hi");
  EXPECT_FALSE(AppleEventDescriptor::int32(5).stringValue());
  EXPECT_FALSE(AppleEventDescriptor::list({AppleEventDescriptor::text("a")}).stringValue());

  EXPECT_EQ(AppleEventDescriptor::int32(-7).int32Value(), -7);
  EXPECT_EQ(numberOfType("shor", std::int16_t(-2)).int32Value(), -2);
  EXPECT_EQ(numberOfType("comp", std::int64_t(4294967296LL + 5)).int32Value(), 5);
  EXPECT_EQ(numberOfType("comp", std::int64_t(-1)).int32Value(), -1);
  EXPECT_EQ(AppleEventDescriptor(fourCharCode("long"), Data{1, 2, 3}).int32Value(), 0);
  EXPECT_EQ(AppleEventDescriptor::null().int32Value(), 0);

  EXPECT_TRUE(AppleEventDescriptor::boolean(true).booleanValue());
  EXPECT_FALSE(AppleEventDescriptor::boolean(false).booleanValue());
  EXPECT_TRUE(AppleEventDescriptor(fourCharCode("bool"), Data{7}).booleanValue());
  EXPECT_FALSE(AppleEventDescriptor(fourCharCode("bool"), Data{}).booleanValue());
  EXPECT_TRUE(AppleEventDescriptor(fourCharCode("true"), Data{}).booleanValue());
  EXPECT_FALSE(AppleEventDescriptor(fourCharCode("fals"), Data{}).booleanValue());
  EXPECT_FALSE(AppleEventDescriptor(fourCharCode("long"), Data{1}).booleanValue());

  EXPECT_EQ(AppleEventDescriptor::enumerated(fourCharCode("yes ")).enumCodeValue(),
            fourCharCode("yes "));
  EXPECT_EQ(AppleEventDescriptor::typeCode(fourCharCode("pcls")).typeCodeValue(),
            fourCharCode("pcls"));
  EXPECT_EQ(AppleEventDescriptor::text("ab").enumCodeValue(), 0u);
}

TEST(AppleEventDescriptor, ItemsAreCountedFromOne) {
  const AppleEventDescriptor list = AppleEventDescriptor::list(
      {AppleEventDescriptor::text("first"), AppleEventDescriptor::int32(2)});
  EXPECT_TRUE(list.hasItems());
  ASSERT_EQ(list.numberOfItems(), 2u);
  EXPECT_EQ(list.descriptorAtIndex(1)->stringValue(), "first");
  EXPECT_EQ(list.descriptorAtIndex(2)->int32Value(), 2);
  EXPECT_EQ(list.descriptorAtIndex(0), nullptr);
  EXPECT_EQ(list.descriptorAtIndex(3), nullptr);
  EXPECT_TRUE(AppleEventDescriptor::list({}).hasItems());
  EXPECT_EQ(AppleEventDescriptor::record({}).numberOfItems(), 0u);
}

TEST(AppleEventDescriptor, EqualityLooksAtTypeKindAndContent) {
  EXPECT_EQ(AppleEventDescriptor::text("a"), AppleEventDescriptor::text("a"));
  EXPECT_NE(AppleEventDescriptor::text("a"), AppleEventDescriptor(fourCharCode("TEXT"), Data{'a'}));
  EXPECT_NE(AppleEventDescriptor::list({}), AppleEventDescriptor(fourCharCode("list"), Data{}));
  EXPECT_EQ(AppleEventDescriptor::withItems(fourCharCode("list"), {}),
            AppleEventDescriptor::list({}));
}

}  // namespace
}  // namespace twinlens
