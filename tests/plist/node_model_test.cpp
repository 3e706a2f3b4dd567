#include <gtest/gtest.h>

#include <map>
#include <random>

#include "plist/array_node.hpp"
#include "plist/dict_node.hpp"
#include "plist/value_nodes.hpp"

namespace twinlens {
namespace {

std::shared_ptr<IntegerNode> integer(std::int64_t value) {
  return std::make_shared<IntegerNode>(value);
}
std::shared_ptr<StringNode> string(std::optional<std::string> value) {
  return std::make_shared<StringNode>(std::move(value));
}

TEST(PListNodeTest, TypeCodesAreTheFixedPowersOfTwo) {
  EXPECT_EQ(integer(0)->type(), 1);
  EXPECT_EQ(string("")->type(), 2);
  EXPECT_EQ(BooleanNode(true).type(), 4);
  EXPECT_EQ(RealNode(0).type(), 8);
  EXPECT_EQ(ArrayNode().type(), 16);
  EXPECT_EQ(DictNode().type(), 32);
}

TEST(ArrayNodeTest, ElementsTypeIsStringCodeWhenEmptyAndFirstElementsOtherwise) {
  ArrayNode array;
  EXPECT_EQ(array.arrayElementsType(), kStringNodeType);
  array.add(integer(1));
  array.add(string("x"));
  EXPECT_EQ(array.arrayElementsType(), kIntegerNodeType);
}

TEST(ArrayNodeTest, AddAtIndexInsertsBeforeAndAppendsAtSize) {
  ArrayNode array;
  array.add(integer(1));
  array.add(integer(3));
  array.add(integer(0), 0);
  array.add(integer(2), 2);
  array.add(integer(4), 4);
  ASSERT_EQ(array.size(), 5u);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(array.integerNodeAtIndex(i)->longlongValue(), i);
}

TEST(ArrayNodeTest, OutOfRangeIndexAndNullNodeAreCallerErrors) {
  ArrayNode array;
  array.add(integer(1));
  EXPECT_THROW(array.objectAtIndex(1), ProgrammingError);
  EXPECT_THROW(array.objectAtIndex(-1), ProgrammingError);
  EXPECT_THROW(array.add(integer(2), 2), ProgrammingError);
  EXPECT_THROW(array.add(nullptr), ProgrammingError);
}

TEST(ArrayNodeTest, TypedGettersAnswerNullForAnotherKind) {
  ArrayNode array;
  array.add(integer(1));
  EXPECT_EQ(array.stringNodeAtIndex(0), nullptr);
  EXPECT_EQ(array.dictNodeAtIndex(0), nullptr);
  EXPECT_NE(array.integerNodeAtIndex(0), nullptr);
}

TEST(ArrayNodeTest, SharesTheNodesItIsBuiltFrom) {
  auto shared = integer(7);
  ArrayNode array(PListNodeList{shared, shared});
  EXPECT_EQ(array.objectAtIndex(0), shared);
  EXPECT_EQ(array.objectAtIndex(1), shared);
  array.list().pop_back();
  EXPECT_EQ(array.size(), 1u);
}

TEST(DictNodeTest, PuttingAnExistingKeyReplacesItsNodeAndMovesItToTheEnd) {
  DictNode dict;
  dict.putInt(1, "a");
  dict.putInt(2, "b");
  dict.putInt(3, "c");
  dict.putInt(4, "a");
  EXPECT_EQ(dict.size(), 3);
  EXPECT_EQ(dict.orderedKeySet(), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_EQ(dict.integerNodeForKey("a")->longlongValue(), 4);
}

TEST(DictNodeTest, PuttingTheLastKeyAgainKeepsTheOrder) {
  DictNode dict;
  dict.putInt(1, "a");
  dict.putInt(2, "b");
  dict.putInt(3, "b");
  EXPECT_EQ(dict.orderedKeySet(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(dict.integerNodeForKey("b")->longlongValue(), 3);
}

TEST(DictNodeTest, RemoveKeyOfAbsentKeyChangesNothingAndRemovesPresentOne) {
  DictNode dict;
  dict.putInt(1, "a");
  dict.putInt(2, "b");
  dict.putInt(3, "c");
  dict.removeKey("zz");
  EXPECT_EQ(dict.orderedKeySet(), (std::vector<std::string>{"a", "b", "c"}));
  dict.removeKey("b");
  EXPECT_EQ(dict.orderedKeySet(), (std::vector<std::string>{"a", "c"}));
  EXPECT_FALSE(dict.containsKey("b"));
  EXPECT_EQ(dict.size(), 2);
  dict.removeAllObjects();
  EXPECT_EQ(dict.size(), 0);
  EXPECT_TRUE(dict.orderedKeySet().empty());
}

TEST(DictNodeTest, AbsentKeyHasTypeZeroAndNoNodeFromAnyGetter) {
  DictNode dict;
  dict.putString("x", "s");
  EXPECT_EQ(dict.nodeTypeForKey("missing"), 0);
  EXPECT_EQ(dict.nodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.arrayNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.booleanNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.dictNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.integerNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.realNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.stringNodeForKey("missing"), nullptr);
  EXPECT_EQ(dict.nodeTypeForKey("s"), kStringNodeType);
  EXPECT_EQ(dict.integerNodeForKey("s"), nullptr);
}

TEST(DictNodeTest, PutConveniencesStoreTheNamedNodes) {
  DictNode dict;
  dict.putInt(-1, "int");
  dict.putLongLong(1ll << 40, "long");
  dict.putBoolean(true, "bool");
  dict.putDouble(2.5, "real");
  dict.putString(std::nullopt, "nil");
  EXPECT_EQ(dict.integerNodeForKey("int")->longlongValue(), -1);
  EXPECT_EQ(dict.integerNodeForKey("long")->longlongValue(), 1ll << 40);
  EXPECT_TRUE(dict.booleanNodeForKey("bool")->booleanValue());
  EXPECT_EQ(dict.realNodeForKey("real")->doubleValue(), 2.5);
  ASSERT_NE(dict.stringNodeForKey("nil"), nullptr);
  EXPECT_FALSE(dict.stringNodeForKey("nil")->stringValue());
}

TEST(DictNodeTest, NullNodeIsACallerError) {
  DictNode dict;
  EXPECT_THROW(dict.put(nullptr, "k"), ProgrammingError);
}

TEST(DictNodeTest, AdoptsAMapWithItsKeyOrderAndRefusesAPairThatDisagrees) {
  DictNode::Map map{{"x", integer(1)}, {"y", integer(2)}};
  DictNode dict(map, {"y", "x"});
  EXPECT_EQ(dict.orderedKeySet(), (std::vector<std::string>{"y", "x"}));
  EXPECT_THROW(DictNode(map, {"y"}), ProgrammingError);
  EXPECT_THROW(DictNode(map, {"y", "y"}), ProgrammingError);
  EXPECT_THROW(DictNode(map, {"y", "z"}), ProgrammingError);
}

TEST(DictNodeTest, ManyKeysKeepOrderThroughReplacementAndRemoval) {
  // Large enough to use the key index and to squeeze out the holes several times.
  DictNode dict;
  constexpr int kKeys = 100000;
  for (int i = 0; i < kKeys; ++i) dict.putInt(i, "key" + std::to_string(i));
  for (int i = 0; i < kKeys; i += 2) dict.putInt(-i, "key" + std::to_string(i));
  for (int i = 1; i < kKeys; i += 4) dict.removeKey("key" + std::to_string(i));
  std::vector<std::string> expected;
  for (int i = 3; i < kKeys; i += 4) expected.push_back("key" + std::to_string(i));
  for (int i = 0; i < kKeys; i += 2) expected.push_back("key" + std::to_string(i));
  EXPECT_EQ(dict.orderedKeySet(), expected);
  EXPECT_EQ(dict.size(), static_cast<int>(expected.size()));
  EXPECT_EQ(dict.integerNodeForKey("key4")->longlongValue(), -4);
  EXPECT_EQ(dict.integerNodeForKey("key3")->longlongValue(), 3);
  EXPECT_FALSE(dict.containsKey("key5"));
}

TEST(DictNodeTest, RandomOperationsMatchASimpleOrderedModel) {
  std::mt19937 random(42);
  for (int keySpace : {5, 20, 300}) {
    SCOPED_TRACE(keySpace);
    DictNode dict;
    std::vector<std::pair<std::string, std::int64_t>> model;
    for (int step = 0; step < 5000; ++step) {
      std::string key = "k" + std::to_string(random() % keySpace);
      auto at = std::find_if(model.begin(), model.end(), [&](auto& e) { return e.first == key; });
      if (random() % 3 == 0) {
        dict.removeKey(key);
        if (at != model.end()) model.erase(at);
      } else {
        dict.putLongLong(step, key);
        if (at != model.end()) model.erase(at);
        model.emplace_back(key, step);
      }
    }
    ASSERT_EQ(dict.size(), static_cast<int>(model.size()));
    std::vector<std::string> keys = dict.orderedKeySet();
    for (std::size_t i = 0; i < model.size(); ++i) {
      EXPECT_EQ(keys[i], model[i].first);
      EXPECT_EQ(dict.integerNodeForKey(model[i].first)->longlongValue(), model[i].second);
    }
  }
}

TEST(IntegerNodeTest, IntValueIsTheLowThirtyTwoBits) {
  DictNode dict;
  dict.putInt(-1, "k");
  EXPECT_EQ(dict.integerNodeForKey("k")->longlongValue(), -1);
  EXPECT_EQ(IntegerNode(4294967296ll).intValue(), 0);
  EXPECT_EQ(IntegerNode(4294967295ll).intValue(), -1);
  EXPECT_EQ(IntegerNode(-5).intValue(), -5);
}

TEST(PListNodeTest, HashesFollowTheFixedFormulas) {
  EXPECT_EQ(BooleanNode(true).hash(), 1262u);
  EXPECT_EQ(BooleanNode(false).hash(), 1268u);
  EXPECT_EQ(IntegerNode(0).hash(), 31u);
  EXPECT_EQ(IntegerNode(-1).hash(), 30u);
  EXPECT_EQ(RealNode(-2.9).hash(), 29u);
  EXPECT_EQ(StringNode(std::nullopt).hash(), 31u);
}

TEST(PListNodeTest, RealHashOfValuesBeyondTheIntegerRangeIsDefined) {
  EXPECT_EQ(RealNode(1e300).hash(), 31u + static_cast<std::uint64_t>(INT64_MAX));
  EXPECT_EQ(RealNode(-1e300).hash(), 31u + static_cast<std::uint64_t>(INT64_MIN));
  EXPECT_EQ(RealNode(std::nan("")).hash(), 31u);
}

TEST(PListNodeTest, EqualStringsFromSeparateTextsAreEqualWithEqualHashes) {
  std::string first = "be";
  first += "ach";
  StringNode a(first);
  StringNode b(std::string("beach"));
  EXPECT_TRUE(a.isEqual(&b));
  EXPECT_EQ(a.hash(), b.hash());
  StringNode none1(std::nullopt), none2(std::nullopt);
  EXPECT_TRUE(none1.isEqual(&none2));
  EXPECT_FALSE(none1.isEqual(&a));
  StringNode empty(std::string(""));
  EXPECT_FALSE(none1.isEqual(&empty));
}

TEST(PListNodeTest, EqualityNeedsTheSameClass) {
  IntegerNode one(1);
  RealNode realOne(1.0);
  BooleanNode yes(true);
  EXPECT_FALSE(one.isEqual(&realOne));
  EXPECT_FALSE(one.isEqual(&yes));
  EXPECT_FALSE(one.isEqual(nullptr));
  EXPECT_TRUE(one.isEqual(&one));
  RealNode nan(std::nan(""));
  EXPECT_TRUE(nan.isEqual(&nan));  // the same object
  RealNode otherNan(std::nan(""));
  EXPECT_FALSE(nan.isEqual(&otherNan));
}

TEST(DictNodeTest, SameEntriesInAnotherOrderAreUnequalButCopiesAreEqual) {
  DictNode ab, ba;
  ab.putInt(1, "a");
  ab.putInt(2, "b");
  ba.putInt(2, "b");
  ba.putInt(1, "a");
  EXPECT_FALSE(ab.isEqual(&ba));
  auto abCopy = ab.deepCopy();
  auto baCopy = ba.deepCopy();
  EXPECT_TRUE(abCopy->isEqual(&ab));
  EXPECT_TRUE(baCopy->isEqual(&ba));
  EXPECT_EQ(abCopy->hash(), ab.hash());
  EXPECT_EQ(abCopy->orderedKeySet(), ab.orderedKeySet());
}

TEST(DictNodeTest, EqualDictionariesHaveEqualHashesWhateverTheirHistory) {
  DictNode a, b;
  for (int i = 0; i < 40; ++i) a.putInt(i, "k" + std::to_string(i));
  for (int i = 0; i < 40; ++i) b.putInt(-1, "k" + std::to_string(i));
  for (int i = 0; i < 40; ++i) b.putInt(i, "k" + std::to_string(i));
  b.putInt(0, "gone");
  b.removeKey("gone");
  EXPECT_TRUE(a.isEqual(&b));
  EXPECT_EQ(a.hash(), b.hash());
}

TEST(DictNodeTest, DeepCopySharesNoNodeWithItsSource) {
  auto inner = std::make_shared<ArrayNode>();
  inner->add(integer(1));
  DictNode source;
  source.put(inner, "list");
  source.putString("x", "s");
  auto copy = source.deepCopy();
  ASSERT_TRUE(copy->isEqual(&source));
  EXPECT_NE(copy->arrayNodeForKey("list"), inner);
  EXPECT_NE(copy->nodeForKey("s"), source.nodeForKey("s"));
  copy->arrayNodeForKey("list")->add(integer(2));
  EXPECT_EQ(inner->size(), 1u);
  EXPECT_FALSE(copy->isEqual(&source));
}

TEST(ArrayNodeTest, EqualityIsElementwiseAndOrdered) {
  ArrayNode a(PListNodeList{integer(1), string("x")});
  ArrayNode b(PListNodeList{integer(1), string("x")});
  ArrayNode c(PListNodeList{string("x"), integer(1)});
  ArrayNode d(PListNodeList{integer(1)});
  EXPECT_TRUE(a.isEqual(&b));
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_FALSE(a.isEqual(&c));
  EXPECT_FALSE(a.isEqual(&d));
}

TEST(PListNodeTest, DescriptionsNameClassAddressAndValue) {
  IntegerNode integerNode(-42);
  RealNode real(0.5);
  BooleanNode yes(true), no(false);
  StringNode text(std::string("beach")), none(std::nullopt);
  auto address = [](const void* node) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", node);
    return std::string(text);
  };
  EXPECT_EQ(integerNode.description(), "<IntegerNode " + address(&integerNode) + " -42>");
  EXPECT_EQ(real.description(), "<RealNode " + address(&real) + " 0.500000>");
  EXPECT_EQ(yes.description(), "<BooleanNode " + address(&yes) + " YES>");
  EXPECT_EQ(no.description(), "<BooleanNode " + address(&no) + " NO>");
  EXPECT_EQ(text.description(), "<StringNode " + address(&text) + " \"beach\">");
  EXPECT_EQ(none.description(), "<StringNode " + address(&none) + " \"(null)\">");

  auto element = integer(1);
  ArrayNode array(PListNodeList{element});
  EXPECT_EQ(array.description(),
            "<ArrayNode " + address(&array) + " (" + element->description() + ")>");
  DictNode dict;
  dict.put(element, "k");
  EXPECT_EQ(dict.description(),
            "<DictNode " + address(&dict) + " {k = " + element->description() + ";}>");
  EXPECT_EQ(DictNode().description().substr(DictNode().description().size() - 3), "{}>");
}

}  // namespace
}  // namespace twinlens
