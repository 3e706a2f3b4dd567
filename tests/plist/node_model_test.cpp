#include <gtest/gtest.h>

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
using Keys = std::vector<std::string>;

TEST(ArrayNodeTest, InsertsGetsTypedAndRefusesBadIndexes) {
  ArrayNode array;
  EXPECT_EQ(array.arrayElementsType(), kStringNodeType);
  array.add(integer(1));
  array.add(integer(3));
  array.add(integer(0), 0);
  array.add(integer(2), 2);
  array.add(integer(4), 4);
  ASSERT_EQ(array.size(), 5u);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(array.integerNodeAtIndex(i)->longlongValue(), i);
  array.add(string("x"));
  EXPECT_EQ(array.arrayElementsType(), kIntegerNodeType);
  EXPECT_EQ(array.stringNodeAtIndex(0), nullptr);
  EXPECT_EQ(array.dictNodeAtIndex(0), nullptr);
  EXPECT_THROW(array.objectAtIndex(6), ProgrammingError);
  EXPECT_THROW(array.objectAtIndex(-1), ProgrammingError);
  EXPECT_THROW(array.add(integer(2), 7), ProgrammingError);
  EXPECT_THROW(array.add(nullptr), ProgrammingError);

  auto shared = integer(7);
  ArrayNode sharing(PListNodeList{shared, shared});
  EXPECT_EQ(sharing.objectAtIndex(1), shared);
}

TEST(DictNodeTest, GettersAnswerOnlyTheirOwnKind) {
  DictNode dict;
  dict.putString("x", "s");
  dict.putString(std::nullopt, "nil");
  EXPECT_EQ(dict.nodeTypeForKey("missing"), 0);
  EXPECT_FALSE(dict.nodeForKey("missing") || dict.arrayNodeForKey("missing") ||
               dict.booleanNodeForKey("missing") || dict.dictNodeForKey("missing") ||
               dict.realNodeForKey("missing") || dict.stringNodeForKey("missing"));
  EXPECT_EQ(dict.nodeTypeForKey("s"), kStringNodeType);
  EXPECT_EQ(dict.integerNodeForKey("s"), nullptr);
  ASSERT_NE(dict.stringNodeForKey("nil"), nullptr);
  EXPECT_FALSE(dict.stringNodeForKey("nil")->stringValue());
  dict.removeAllObjects();
  EXPECT_EQ(dict.size(), 0);
  EXPECT_TRUE(dict.orderedKeySet().empty());
  EXPECT_THROW(dict.put(nullptr, "k"), ProgrammingError);
}

TEST(DictNodeTest, AdoptsAMapWithItsKeyOrderAndRefusesAPairThatDisagrees) {
  DictNode::Map map{{"x", integer(1)}, {"y", integer(2)}};
  EXPECT_EQ(DictNode(map, {"y", "x"}).orderedKeySet(), (Keys{"y", "x"}));
  EXPECT_THROW(DictNode(map, {"y"}), ProgrammingError);
  EXPECT_THROW(DictNode(map, {"y", "y"}), ProgrammingError);
  EXPECT_THROW(DictNode(map, {"y", "z"}), ProgrammingError);
}

// Puts replace a key's value and move it to the end; enough keys and removals to use the key
// index and to squeeze out the holes several times.
TEST(DictNodeTest, RandomOperationsMatchASimpleOrderedModel) {
  std::mt19937 random(42);
  for (int keySpace : {5, 20, 300}) {
    SCOPED_TRACE(keySpace);
    DictNode dict;
    std::vector<std::pair<std::string, std::int64_t>> model;
    for (int step = 0; step < 5000; ++step) {
      std::string key = "k" + std::to_string(random() % keySpace);
      auto at = std::find_if(model.begin(), model.end(), [&](auto& e) { return e.first == key; });
      if (at != model.end()) model.erase(at);
      if (random() % 3 == 0) {
        dict.removeKey(key);
      } else {
        dict.putLongLong(step, key);
        model.emplace_back(key, step);
      }
    }
    ASSERT_EQ(dict.size(), static_cast<int>(model.size()));
    Keys keys = dict.orderedKeySet();
    for (std::size_t i = 0; i < model.size(); ++i) {
      EXPECT_EQ(keys[i], model[i].first);
      EXPECT_EQ(dict.integerNodeForKey(model[i].first)->longlongValue(), model[i].second);
    }
  }
}

// Hashing a real beyond the 64-bit range or NaN must clamp, not convert out of range.
TEST(PListNodeTest, IntValueIsTheLowThirtyTwoBitsAndRealHashesClamp) {
  EXPECT_EQ(IntegerNode(4294967296ll).intValue(), 0);
  EXPECT_EQ(IntegerNode(4294967295ll).intValue(), -1);
  EXPECT_EQ(IntegerNode(-5).intValue(), -5);
  EXPECT_EQ(RealNode(1e300).hash(), 31u + static_cast<std::uint64_t>(INT64_MAX));
  EXPECT_EQ(RealNode(-1e300).hash(), 31u + static_cast<std::uint64_t>(INT64_MIN));
  EXPECT_EQ(RealNode(std::nan("")).hash(), 31u);
}

TEST(PListNodeTest, EqualityNeedsTheSameClassAndValue) {
  std::string first = "be";
  first += "ach";
  StringNode a(first), b(std::string("beach")), none1(std::nullopt), none2(std::nullopt);
  StringNode empty(std::string(""));
  EXPECT_TRUE(a.isEqual(&b));
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_TRUE(none1.isEqual(&none2));
  EXPECT_FALSE(none1.isEqual(&a));
  EXPECT_FALSE(none1.isEqual(&empty));
  IntegerNode one(1);
  RealNode realOne(1.0), nan(std::nan("")), otherNan(std::nan(""));
  BooleanNode yes(true);
  EXPECT_FALSE(one.isEqual(&realOne));
  EXPECT_FALSE(one.isEqual(&yes));
  EXPECT_FALSE(one.isEqual(nullptr));
  EXPECT_TRUE(nan.isEqual(&nan));  // the same object
  EXPECT_FALSE(nan.isEqual(&otherNan));
  ArrayNode list(PListNodeList{integer(1), string("x")});
  ArrayNode same(PListNodeList{integer(1), string("x")});
  EXPECT_TRUE(list.isEqual(&same));
  EXPECT_EQ(list.hash(), same.hash());
  EXPECT_FALSE(list.isEqual(ArrayNode(PListNodeList{string("x"), integer(1)}).copy().get()));
  EXPECT_FALSE(list.isEqual(ArrayNode(PListNodeList{integer(1)}).copy().get()));
}

TEST(DictNodeTest, EqualityFollowsKeyOrderNotHistoryAndCopiesShareNothing) {
  DictNode ab, ba;
  ab.putInt(1, "a");
  ab.putInt(2, "b");
  ba.putInt(2, "b");
  ba.putInt(1, "a");
  EXPECT_FALSE(ab.isEqual(&ba));
  DictNode a, b;
  for (int i = 0; i < 40; ++i) a.putInt(i, "k" + std::to_string(i));
  for (int i = 0; i < 40; ++i) b.putInt(-1, "k" + std::to_string(i));
  for (int i = 0; i < 40; ++i) b.putInt(i, "k" + std::to_string(i));
  b.putInt(0, "gone");
  b.removeKey("gone");
  EXPECT_TRUE(a.isEqual(&b));
  EXPECT_EQ(a.hash(), b.hash());

  auto inner = std::make_shared<ArrayNode>();
  inner->add(integer(1));
  DictNode source;
  source.put(inner, "list");
  source.putString("x", "s");
  auto copy = source.deepCopy();
  ASSERT_TRUE(copy->isEqual(&source));
  EXPECT_EQ(copy->hash(), source.hash());
  EXPECT_NE(copy->nodeForKey("s"), source.nodeForKey("s"));
  copy->arrayNodeForKey("list")->add(integer(2));
  EXPECT_EQ(inner->size(), 1u);
  EXPECT_FALSE(copy->isEqual(&source));
}

}  // namespace
}  // namespace twinlens
