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
  EXPECT_EQ(AppleEventDescriptor::text("").stringValue(), "");
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
  const AppleEventDescriptor real = AppleEventDescriptor::real(1.5);
  ASSERT_EQ(real.data().size(), 8u);
  double value = 0;
  std::memcpy(&value, real.data().data(), 8);
  EXPECT_EQ(value, 1.5);
  EXPECT_EQ(AppleEventDescriptor::null().descriptorType(), fourCharCode("null"));
  EXPECT_TRUE(AppleEventDescriptor::null().data().empty());
  EXPECT_FALSE(AppleEventDescriptor::null().hasItems());
}

TEST(AppleEventDescriptor, ItemsAreCountedFromOneAndUserFieldsAreOneListOfLabelsAndValues) {
  const AppleEventDescriptor list = AppleEventDescriptor::list(
      {AppleEventDescriptor::text("first"), AppleEventDescriptor::int32(2)});
  EXPECT_TRUE(list.hasItems());
  EXPECT_TRUE(list.data().empty());
  ASSERT_EQ(list.numberOfItems(), 2u);
  EXPECT_EQ(list.descriptorAtIndex(1)->stringValue(), "first");
  EXPECT_EQ(list.descriptorAtIndex(2)->int32Value(), 2);
  EXPECT_EQ(list.descriptorAtIndex(0), nullptr);
  EXPECT_EQ(list.descriptorAtIndex(3), nullptr);
  EXPECT_TRUE(AppleEventDescriptor::list({}).hasItems());
  EXPECT_EQ(AppleEventDescriptor::record({}).numberOfItems(), 0u);

  const AppleEventDescriptor record = AppleEventDescriptor::recordWithUserFields(
      {{"_Id", AppleEventDescriptor::list({AppleEventDescriptor::int32(4)})},
       {"_Caption", AppleEventDescriptor::text("Beach")}});
  EXPECT_EQ(record.descriptorType(), fourCharCode("reco"));
  ASSERT_EQ(record.numberOfItems(), 1u);
  const AppleEventDescriptor& fields = *record.descriptorAtIndex(1);
  EXPECT_EQ(fields.descriptorType(), fourCharCode("list"));
  ASSERT_EQ(fields.numberOfItems(), 4u);
  EXPECT_EQ(fields.descriptorAtIndex(1)->stringValue(), "_Id");
  EXPECT_EQ(fields.descriptorAtIndex(2)->descriptorAtIndex(1)->int32Value(), 4);
  EXPECT_EQ(fields.descriptorAtIndex(3)->stringValue(), "_Caption");
  EXPECT_EQ(fields.descriptorAtIndex(4)->stringValue(), "Beach");
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
