#include "demoSystem/Variable.h"

#include <gtest/gtest.h>

#include <random>

#include "demoSystem/Timeline.h"

namespace {

class VariableTest : public testing::Test {
 protected:
  void SetUp() override { demoEndTime = 10000; }
  void TearDown() override { demoEndTime = 0; }

  template <class V>
  static std::vector<uint32_t> times(const V& variable) {
    std::vector<uint32_t> out;
    for (const auto& key : variable.keys.keys()) out.push_back(key.time);
    return out;
  }
};

// [SECTION] Setting keys

TEST_F(VariableTest, FirstKeyFillsTheDemoFromZeroToTheEnd) {
  FloatVariable v;
  v.setKey(3, 5000);
  EXPECT_EQ(times(v), (std::vector<uint32_t>{0, 5000, 10000}));
  for (const auto& key : v.keys.keys()) EXPECT_EQ(key.value, 3);
  EXPECT_TRUE(v.changed);
}

TEST_F(VariableTest, FirstKeyAtZeroOrAtTheEndMakesOnlyTwoKeys) {
  FloatVariable atZero;
  atZero.setKey(2, 0);
  EXPECT_EQ(times(atZero), (std::vector<uint32_t>{0, 10000}));
  FloatVariable atEnd;
  atEnd.setKey(2, 10000);
  EXPECT_EQ(times(atEnd), (std::vector<uint32_t>{0, 10000}));
}

TEST_F(VariableTest, LaterKeysReplaceEqualTimesAndInsertBeforeLaterOnes) {
  FloatVariable v;
  v.setKey(1, 5000);
  v.setKey(2, 8000);
  v.setKey(4, 5000);
  v.setKey(7, 20000);  // after every key: nothing
  EXPECT_EQ(times(v), (std::vector<uint32_t>{0, 5000, 8000, 10000}));
  EXPECT_EQ(v.keys[1].value, 4);
  EXPECT_EQ(v.keys[2].value, 2);
}

TEST_F(VariableTest, SecondKeyRampsAndTheEndKeyKeepsTheFirstValue) {
  FloatVariable v;
  v.setKey(1, 5000);
  v.setKey(3, 8000);
  EXPECT_FLOAT_EQ(v.evaluate(2000), 1);
  EXPECT_FLOAT_EQ(v.evaluate(6500), 2);  // half way up from 5000 to 8000
  EXPECT_FLOAT_EQ(v.evaluate(8000), 3);
  EXPECT_FLOAT_EQ(v.evaluate(9000), 2);  // and back towards the first value at the end
  EXPECT_FLOAT_EQ(v.evaluate(10000), 1);
}

TEST_F(VariableTest, BoolAndIntegerKeysConvertTheirValue) {
  BoolVariable b;
  b.setKey(0.5f, 100);
  EXPECT_TRUE(b.keys[1].value);
  b.setKey(0, 200);
  EXPECT_FALSE(b.keys[2].value);
  IntVariable i;
  i.setKey(3.9f, 100);
  EXPECT_EQ(i.keys[1].value, 3u);
  i.setKey(-1, 50);
  EXPECT_EQ(i.keys[1].value, 0xFFFFFFFFu);  // negative values wrap as the 32-bit conversion does
}

TEST_F(VariableTest, TextVariablesOnlyTakeTextKeysAndNumericOnlyNumericOnes) {
  StringVariable s;
  s.setKey(5, 100);
  EXPECT_TRUE(s.keys.empty());
  s.setStringKey("abc", 100);
  EXPECT_EQ(times(s), (std::vector<uint32_t>{0, 100, 10000}));
  FloatVariable f;
  f.setStringKey("abc", 100);
  EXPECT_TRUE(f.keys.empty());
  EXPECT_EQ(f.evaluateString(100), "");
}

// [SECTION] Float evaluation

TEST_F(VariableTest, FewerThanTwoKeysGiveTheConstant) {
  FloatVariable v;
  v.value = 0.25f;
  EXPECT_FLOAT_EQ(v.evaluate(123), 0.25f);
  v.setKeys({{0, 9}});
  EXPECT_FLOAT_EQ(v.evaluate(0), 0.25f);
}

TEST_F(VariableTest, EaseInIsAQuarterOfTheWayAtHalfTime) {
  FloatVariable v;
  v.interpolation = Variable::kEaseIn;
  v.setKeys({{0, 0}, {1000, 8}});
  EXPECT_FLOAT_EQ(v.evaluate(500), 2);
  EXPECT_FLOAT_EQ(v.evaluate(1000), 8);
}

TEST_F(VariableTest, OtherInterpolationCodesGiveTheConstantBetweenKeys) {
  FloatVariable v;
  v.value = -1;
  v.interpolation = 7;
  v.setKeys({{0, 0}, {1000, 8}});
  EXPECT_FLOAT_EQ(v.evaluate(500), -1);
  EXPECT_FLOAT_EQ(v.evaluate(0), 0);  // exactly on a key still gives the key
  EXPECT_FLOAT_EQ(v.evaluate(1000), 8);
}

TEST_F(VariableTest, AfterTheLastKeyTheLastKeyHolds) {
  FloatVariable v;
  v.setKeys({{0, 1}, {1000, 5}});
  EXPECT_FLOAT_EQ(v.evaluate(1001), 5);
  EXPECT_FLOAT_EQ(v.evaluate(0xFFFFFFFFu), 5);
}

TEST_F(VariableTest, ChangedIsSetWhenTheResultDiffersFromTheLastOne) {
  FloatVariable v;
  v.setKeys({{0, 0}, {1000, 10}});
  v.changed = false;
  v.evaluate(0);  // 0 equals the initial lastValue
  EXPECT_FALSE(v.changed);
  v.evaluate(500);
  EXPECT_TRUE(v.changed);
  EXPECT_FLOAT_EQ(v.lastValue, 5);
  v.changed = false;
  v.evaluate(500);
  EXPECT_FALSE(v.changed);
}

// The cursor must give what a scan from the front gives, whatever order times come in.
TEST_F(VariableTest, CursorEvaluationMatchesAFullScanInAnyOrder) {
  std::mt19937 random(7);
  std::vector<NumericKey> keys;
  uint32_t t = 0;
  for (int i = 0; i < 200; ++i) {
    keys.push_back({t, static_cast<float>(random() % 100)});
    t += 1 + random() % 50;
  }
  FloatVariable cursor;
  cursor.setKeys(keys);
  auto scan = [&](uint32_t time) {
    size_t k = 1;
    while (k < keys.size() && keys[k].time < time) ++k;
    if (k == keys.size()) return keys.back().value;
    const NumericKey& p = keys[k - 1];
    const NumericKey& n = keys[k];
    if (time == p.time) return p.value;
    if (time == n.time) return n.value;
    const float u = static_cast<float>(time - p.time) / static_cast<float>(n.time - p.time);
    return n.value * u + p.value * (1 - u);
  };
  for (int i = 0; i < 5000; ++i) {
    const uint32_t time = random() % (t + 100);
    ASSERT_FLOAT_EQ(cursor.evaluate(time), scan(time)) << "at " << time;
  }
  for (uint32_t time = 0; time < t + 100; time += 3)  // playback: small steps forward
    ASSERT_FLOAT_EQ(cursor.evaluate(time), scan(time)) << "at " << time;
  for (uint32_t time = t + 100; time > 40; time -= 37)  // and rewinding
    ASSERT_FLOAT_EQ(cursor.evaluate(time), scan(time)) << "at " << time;
}

TEST_F(VariableTest, UnsortedKeysAreSearchedFromTheFront) {
  // A first key after demoEndTime leaves (0, v), (time, v), (end, v) out of order.
  FloatVariable v;
  v.setKey(2, 20000);
  EXPECT_EQ(times(v), (std::vector<uint32_t>{0, 20000, 10000}));
  v.setKeys({{0, 0}, {20000, 20}, {10000, 10}});
  EXPECT_FLOAT_EQ(v.evaluate(10000), 10);   // the first key >= 10000 is the one at 20000
  EXPECT_FLOAT_EQ(v.evaluate(15000), 15);   // between 0 and 20000 it ramps 0..20
  EXPECT_FLOAT_EQ(v.evaluate(25000), 10);   // past every key: the last one in the list
}

// [SECTION] Step evaluation

TEST_F(VariableTest, StepVariablesHoldTheKeyBeforeTheNextLaterKey) {
  IntVariable v;
  v.setKeys({{0, 1}, {100, 2}, {200, 3}, {300, 4}});
  EXPECT_EQ(v.evaluateInt(0), 1u);
  EXPECT_EQ(v.evaluateInt(99), 1u);
  EXPECT_EQ(v.evaluateInt(100), 2u);
  EXPECT_EQ(v.lastKeyTime, 100u);
  EXPECT_EQ(v.evaluateInt(299), 3u);
  EXPECT_EQ(v.lastKeyTime, 200u);
  EXPECT_EQ(v.evaluateInt(150), 2u);  // backwards too
  EXPECT_FLOAT_EQ(v.evaluate(250), 3);
}

TEST_F(VariableTest, StepVariablesGiveTheConstantFromTheLastKeyOn) {
  BoolVariable active;
  active.setKey(0, 0);
  active.setKey(1, 5000);
  EXPECT_FALSE(active.evaluateBool(4999));
  EXPECT_TRUE(active.evaluateBool(5000));
  EXPECT_TRUE(active.evaluateBool(9999));
  // At and after the end key the scan finds no later key: the constant (false) is used.
  EXPECT_FALSE(active.evaluateBool(10000));
  active.value = true;
  EXPECT_TRUE(active.evaluateBool(10000));
}

TEST_F(VariableTest, StepChangedTracksOnlyTheConstant) {
  StringVariable s;
  s.value = "1000";
  EXPECT_EQ(s.evaluateString(5), "1000");
  EXPECT_TRUE(s.changed);
  EXPECT_EQ(s.lastValue, "1000");
  s.changed = false;
  EXPECT_EQ(s.evaluateString(6), "1000");
  EXPECT_FALSE(s.changed);
  s.setTextKeys({{0, "a"}, {100, "b"}, {200, "c"}});
  s.changed = false;
  EXPECT_EQ(s.evaluateString(150), "b");
  EXPECT_FALSE(s.changed);
  EXPECT_EQ(s.lastKeyTime, 100u);
}

// [SECTION] Compaction, normalised values, key lists

TEST_F(VariableTest, TwoEqualKeysCompactToAConstant) {
  FloatVariable f;
  f.setKey(0.75f, 0);
  f.compact();
  EXPECT_TRUE(f.keys.empty());
  EXPECT_FLOAT_EQ(f.value, 0.75f);
  EXPECT_FLOAT_EQ(f.evaluate(4000), 0.75f);

  FloatVariable three;
  three.setKey(1, 500);
  three.compact();
  EXPECT_EQ(three.keys.size(), 3u);

  FloatVariable different;
  different.setKeys({{0, 1}, {10, 2}});
  different.compact();
  EXPECT_EQ(different.keys.size(), 2u);

  StringVariable text;
  text.setStringKey("x", 0);
  text.compact();
  EXPECT_TRUE(text.keys.empty());
  EXPECT_EQ(text.value, "x");
}

TEST_F(VariableTest, SetNormalizedClampsAndUpdatesAKeyOfThatTime) {
  FloatVariable f;
  f.setKeys({{0, 0}, {100, 0}});
  f.setNormalized(3, 100);
  EXPECT_FLOAT_EQ(f.value, 1);
  EXPECT_FLOAT_EQ(f.keys[1].value, 1);
  f.setNormalized(-2, 50);  // no key at 50: only the constant
  EXPECT_FLOAT_EQ(f.value, 0);
  EXPECT_FLOAT_EQ(f.getNormalized(), 0);

  BoolVariable b;
  b.setNormalized(0.1f, 0);
  EXPECT_TRUE(b.value);
  EXPECT_TRUE(b.changed);
  EXPECT_FLOAT_EQ(b.getNormalized(), 1);

  IntVariable i;
  i.choiceCount = 5;
  i.setKeys({{0, 0}, {100, 0}});
  i.setNormalized(9.5f, 100);
  EXPECT_EQ(i.value, 4u);
  EXPECT_EQ(i.keys[1].value, 4u);
  i.setNormalized(2.7f, 0);
  EXPECT_EQ(i.value, 2u);
  EXPECT_FLOAT_EQ(i.getNormalized(), 0.5f);
  i.choiceCount = 1;
  EXPECT_FLOAT_EQ(i.getNormalized(), 0);

  StringVariable s;
  s.setNormalized(1, 0);
  EXPECT_FLOAT_EQ(s.getNormalized(), 0);
  EXPECT_FLOAT_EQ(s.evaluate(0), 0);
}

TEST_F(VariableTest, KeyListsCopyAndReplace) {
  IntVariable from;
  from.setKeys({{0, 1}, {50, 2}});
  std::vector<NumericKey> list;
  from.copyKeysTo(list);
  from.copyKeysTo(list);  // appends
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[3].time, 50u);
  EXPECT_FLOAT_EQ(list[3].value, 2);

  BoolVariable to;
  to.changed = false;
  to.setKeys({{0, 0}, {50, 1}});
  EXPECT_TRUE(to.changed);
  EXPECT_TRUE(to.evaluateBool(60) == false);  // past the last key: the constant
  EXPECT_TRUE(to.evaluateBool(49) == false);

  StringVariable text;
  text.setTextKeys({{0, "a"}, {10, "b"}});
  std::vector<TextKey> texts;
  text.copyTextKeysTo(texts);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1].value, "b");
  std::vector<NumericKey> none;
  text.copyKeysTo(none);
  EXPECT_TRUE(none.empty());
}

TEST_F(VariableTest, KindsAndDefaults) {
  EXPECT_EQ(FloatVariable().kind, Variable::kFloat);
  EXPECT_EQ(BoolVariable().kind, Variable::kBool);
  EXPECT_EQ(IntVariable().kind, Variable::kInteger);
  StringVariable s;
  EXPECT_EQ(s.kind, Variable::kString);
  EXPECT_FALSE(s.isString);
  EXPECT_EQ(s.interpolation, Variable::kLinear);
  EXPECT_EQ(s.choiceCount, 1u);
  EXPECT_EQ(s.stringTable, 10000);
  EXPECT_FALSE(s.stringIndexed);
}

}  // namespace
