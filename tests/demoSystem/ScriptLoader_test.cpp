#include "demoSystem/ScriptLoader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "base/Error.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "effects/LayerEffects.h"
#include "support/TempDir.h"

namespace {

// An effect with one variable of every kind a statement can address, that records what
// reaches it and draws nothing.
class ProbeEffect : public Effect {
 public:
  explicit ProbeEffect(const std::string& name) : Effect(name) {
    Choice.choiceCount = 11;
    File.stringIndexed = true;
    Text.isString = true;
    registerVariable(&Value, "Value", Variable::kNoStringTable, Variable::kFloat);
    registerVariable(&Switch, "Switch", Variable::kNoStringTable, Variable::kBool);
    registerVariable(&Choice, "Choice", Variable::kNoStringTable, Variable::kInteger);
    registerVariable(&File, "File", 0, Variable::kInteger);
    registerVariable(&Scene, "Scene", 1000, Variable::kInteger);
    registerVariable(&Text, "Text", Variable::kNoStringTable, Variable::kString);
  }
  void render(uint32_t) override {}
  void onStringAdded(int32_t table, const std::string& text, int32_t count) override {
    added.push_back(std::to_string(table) + ":" + text + ":" + std::to_string(count));
  }

  FloatVariable Value;
  BoolVariable Switch;
  IntVariable Choice;
  IntVariable File;
  IntVariable Scene;
  StringVariable Text;
  std::vector<std::string> added;
};

const EffectType kTestTypes[] = {
    {"Probe", [](const std::string& n) -> Effect* { return new ProbeEffect(n); }},
    {"Clear", [](const std::string& n) -> Effect* { return new ClearEffect(n, 0, 0, 0, 1); }},
    {"Fade", [](const std::string& n) -> Effect* { return new FadeEffect(n); }},
};

// [SECTION] Fixture: scripts loaded from memory or from files in a scratch directory

class ScriptTest : public testing::Test {
 protected:
  void SetUp() override {
    demoEndTime = 10000;
    partTimes.clear();
  }
  void TearDown() override {
    demoEndTime = 0;
    partTimes.clear();
  }

  void write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(name).parent_path().empty()
                                            ? "."
                                            : std::filesystem::path(name).parent_path());
    std::ofstream(name, std::ios::binary) << text;
  }
  void load(const std::string& script) { loader.loadText(script, effects, events); }
  ProbeEffect& probe(const std::string& name = "p") {
    auto* effect = dynamic_cast<ProbeEffect*>(effects.findEffect(name));
    EXPECT_NE(effect, nullptr) << name;
    return *effect;
  }
  static std::vector<uint32_t> keyTimes(const KeyList<float>& keys) {
    std::vector<uint32_t> out;
    for (const auto& key : keys.keys()) out.push_back(key.time);
    return out;
  }
  std::vector<uint32_t> eventTimes() const {
    std::vector<uint32_t> out;
    for (const auto& event : events.events()) out.push_back(event.time);
    return out;
  }

  EffectList effects{kTestTypes};
  EventList events;
  ScriptLoader loader;
  WorkingDirectory work{"script_test"};
};

const char* kProbe = "INSERT_EFFECT Probe AS p\n__TIMELINE__\n";

// [SECTION] Tokens and comments

TEST_F(ScriptTest, BlockCommentClosedOnItsOwnLineStaysOpen) {
  load(std::string(kProbe) +
       "/* one line */ 100 s p Value 1\n"
       "200 s p Value 2\n"
       "end*/ 300 s p Value 3\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 300, 10000}));
}

TEST_F(ScriptTest, BlockCommentEndsInsideATokenAndTheRestIsAStatement) {
  load(std::string(kProbe) + "/* open\nstill */400 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 400, 10000}));
}

TEST_F(ScriptTest, TextBeforeABlockCommentMarkerIsThrownAway) {
  load(std::string(kProbe) + "100/* x\n*/ 200 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 200, 10000}));
}

TEST_F(ScriptTest, LineCommentMarkerCountsOnlyAtTheFirstThreePositions) {
  load(std::string(kProbe) + "x//y 100 s p Value 1\nab// 200 s p Value 2\n300 s p Value 3\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 300, 10000}));
}

TEST_F(ScriptTest, LineCommentMarkerAtPositionThreeIsAStatementToken) {
  EXPECT_EXIT(load("abc// 100\n"), testing::ExitedWithCode(1),
              "DEFINE not found: abc//\n$");
}

TEST_F(ScriptTest, EmptyCommentsContinueWithTheNextLine) {
  load(std::string(kProbe) + "//\n100 s p Value 1\n/*\n*/\n200 s p Value 2\n//");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 200, 10000}));
}

TEST_F(ScriptTest, ALineCommentSwallowsAt199CharactersAndTheRestIsRead) {
  const std::string filler(197, 'x');  // "//" token, blank, then 197 + 1 more = 199
  load(std::string(kProbe) + "// " + filler + "y500 s p Value 1\n");
  // The comment read takes " " + filler + "y"; "500" stays in the stream.
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 500, 10000}));
}

TEST_F(ScriptTest, TokensAreSeparatedByAnyWhiteSpace) {
  load("INSERT_EFFECT\tProbe\r\nAS\vp\f__TIMELINE__ 100\ns\np\nValue 2\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 10000}));
}

TEST(ScriptTokens, ReadTokenSkipsWhiteSpaceAndGivesEmptyAtTheEnd) {
  ScriptText text{"  ab\tc  \n", 0};
  EXPECT_EQ(ScriptLoader::readToken(text), "ab");
  EXPECT_EQ(ScriptLoader::readToken(text), "c");
  EXPECT_EQ(ScriptLoader::readToken(text), "");
  EXPECT_TRUE(text.atEnd());
}

// [SECTION] Sections

TEST_F(ScriptTest, NumericSignalsKeyOnlyAfterTheTimelineMarker) {
  load("INSERT_EFFECT Probe AS p\n100 s p Value 1\n__SETUP__\n200 s p Value 2\n");
  EXPECT_TRUE(probe().Value.keys.empty());
  EXPECT_TRUE(loader.setupSeen);
  EXPECT_FALSE(loader.timelineSeen);
}

TEST_F(ScriptTest, SectionMarkersAreRecordedAndAccumulate) {
  load("__HEADER__ __DEFS__ __SETUP__ __TIMELINE__");
  EXPECT_TRUE(loader.headerSeen && loader.defsSeen && loader.setupSeen && loader.timelineSeen);
  load("");
  EXPECT_FALSE(loader.headerSeen || loader.defsSeen || loader.setupSeen || loader.timelineSeen);
}

TEST_F(ScriptTest, LinetimeEndsTheFile) {
  load(std::string(kProbe) + "100 s p Value 1\n__LINETIME__\n200 s p Value 2\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 10000}));
}

TEST_F(ScriptTest, LinetimeInAnIncludedFileEndsOnlyThatFile) {
  write("inc.script", "100 s p Value 1\n__LINETIME__\n200 s p Value 2\n");
  load(std::string(kProbe) + "INCLUDE \"inc.script\"\n300 s p Value 3\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 300, 10000}));
}

// [SECTION] INCLUDE

TEST_F(ScriptTest, IncludedFilesShareDefinitionsSectionsAndTheOffset) {
  write("data/defs.script", "DEFINE START 1000\nTIMEOFFSET 50\n__TIMELINE__\n");
  write("data/more.script", "INCLUDE <data/defs.script>\nSTART s p Value 1\n");
  load("INSERT_EFFECT Probe AS p\nINCLUDE 'data/more.script'\nSTART + 10 s p Value 2\n");
  EXPECT_TRUE(loader.timelineSeen);
  EXPECT_EQ(loader.defines.at("START"), 1000);
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 1050, 1060, 10000}));
}

TEST_F(ScriptTest, InsertsAndSwitchesAreRecordedWithTheFileAndLineOfTheirStatements) {
  write("data/switches.script", "// on and off\n\n500 b p\n2000 END p\n");
  load("INSERT_EFFECT Probe AS p\n__TIMELINE__\nINCLUDE 'data/switches.script'\n3000 e p\n");
  ASSERT_EQ(loader.inserts().size(), 1u);
  EXPECT_EQ(loader.inserts()[0].typeName, "Probe");
  const auto& s = loader.activeSwitches();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(std::tie(s[0].time, s[0].on, s[0].file, s[0].line), std::make_tuple(500u, true, std::string("data/switches.script"), 3));
  EXPECT_EQ(std::tie(s[1].time, s[1].on, s[1].line), std::make_tuple(2000u, false, 4));
  EXPECT_EQ(std::tie(s[2].time, s[2].on, s[2].line), std::make_tuple(3000u, false, 4));
}

TEST_F(ScriptTest, BlockCommentOpenAtTheEndOfAnIncludeEndsWithIt) {
  write("inc.script", "100 s p Value 1\n/* never closed\n");
  load(std::string(kProbe) + "INCLUDE \"inc.script\"\n200 s p Value 2\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 200, 10000}));
}

TEST_F(ScriptTest, LoadReadsTheScriptFileItself) {
  write("data/scripts/main.script", std::string(kProbe) + "700 b p\n");
  loader.load("data/scripts/main.script", effects, events);
  EXPECT_TRUE(probe().active.evaluateBool(700));
}

// [SECTION] Time expressions

TEST_F(ScriptTest, OperatorsApplyStrictlyLeftToRight) {
  ScriptText rest{"- 20 * 2 next", 0};
  EXPECT_EQ(loader.readTimeExpression("100", rest), 160);
  EXPECT_TRUE(loader.hasPushedBack);
  EXPECT_EQ(loader.pushedBackToken, "next");
}

TEST_F(ScriptTest, AnOperatorIsItsFirstCharacterOnly) {
  ScriptText rest{"+junk 5 *x 3 -- 1 end", 0};
  EXPECT_EQ(loader.readTimeExpression("10", rest), 44);  // (10 + 5) * 3 - 1
}

TEST_F(ScriptTest, ATimeWithoutBlanksIsOneToken) {
  load(std::string(kProbe) + "1000+500 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 1000, 10000}));
}

TEST_F(ScriptTest, TermsAreAtoiPrefixesOrDefinedNames) {
  loader.defines["abc"] = 7;
  loader.defines["-0"] = 3;
  EXPECT_EQ(loader.readTimeTerm("12abc"), 12);
  EXPECT_EQ(loader.readTimeTerm("0"), 0);
  EXPECT_EQ(loader.readTimeTerm("00"), 0);
  EXPECT_EQ(loader.readTimeTerm("0x10"), 0);
  EXPECT_EQ(loader.readTimeTerm("-12"), -12);
  EXPECT_EQ(loader.readTimeTerm("abc"), 7);
  EXPECT_EQ(loader.readTimeTerm("-0"), 3);  // 0 without a leading digit zero: a name
}

TEST_F(ScriptTest, ArithmeticWrapsAt32Bits) {
  ScriptText rest{"* 2 x", 0};
  EXPECT_EQ(loader.readTimeExpression("2147483647", rest), -2);
}

// [SECTION] DEFINE, DEFINE_DEMO_PART, TIMEOFFSET, DEMO_*

TEST_F(ScriptTest, DefineKeepsTheFirstValueAndTakesAnExpression) {
  load("DEFINE A 100 + 5\nDEFINE A 7\nDEFINE B A * 2\n");
  EXPECT_EQ(loader.defines.at("A"), 105);
  EXPECT_EQ(loader.defines.at("B"), 210);
}

TEST_F(ScriptTest, DefinitionsAreClearedByEveryLoad) {
  load("DEFINE A 1\n");
  load("");
  EXPECT_TRUE(loader.defines.empty());
}

TEST_F(ScriptTest, DemoPartsStaySortedAndDistinctAcrossLoads) {
  load("DEFINE P 3000\nDEFINE_DEMO_PART P\nDEFINE_DEMO_PART 1000\nDEFINE_DEMO_PART 3000\n");
  load("DEFINE_DEMO_PART 2000\nDEFINE_DEMO_PART 1000\n");
  EXPECT_EQ(partTimes, (std::vector<uint32_t>{1000, 2000, 3000}));
}

TEST_F(ScriptTest, DemoPartTakesOneTermWithoutOffset) {
  load(std::string(kProbe) + "TIMEOFFSET 500\nDEFINE_DEMO_PART 1000 200 s p Value 1\n");
  EXPECT_EQ(partTimes, (std::vector<uint32_t>{1000}));
  // The token after the term is the next statement, not an operand.
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 700, 10000}));
}

TEST_F(ScriptTest, TimeOffsetReplacesAndIsKeptAcrossLoads) {
  load(std::string(kProbe) +
       "TIMEOFFSET 1000\n500 s p Value 1\nTIMEOFFSET 0\n700 s p Value 2\nTIMEOFFSET 2000\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 700, 1500, 10000}));
  load(std::string(kProbe) + "100 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 2100, 10000}));
}

TEST_F(ScriptTest, StartEndAndBeatArePublishedAfterTheLoadAndHeldAcrossLoads) {
  ScriptLoader fresh;
  fresh.loadText("", effects, events);
  EXPECT_EQ(demoStartTime, 0u);
  EXPECT_EQ(playbackEndTime, 60000u);
  EXPECT_EQ(patternStepLength, 100u);
  fresh.loadText("DEMO_START 1000 DEMO_END 90000 DEMO_BEAT 125 DEMO_FULLSCREEN 1 DEMO_MUSIC 0",
                 effects, events);
  EXPECT_EQ(demoStartTime, 1000u);
  EXPECT_EQ(demoEndTime, 90000u);
  EXPECT_EQ(playbackEndTime, 90000u);
  EXPECT_EQ(patternStepLength, 125u);
  fresh.loadText("DEMO_BEAT 50\n", effects, events);
  EXPECT_EQ(demoStartTime, 1000u);
  EXPECT_EQ(playbackEndTime, 90000u);
  EXPECT_EQ(patternStepLength, 50u);
}

TEST_F(ScriptTest, DemoEndBoundsKeysAsSoonAsItIsRead) {
  load("DEMO_END 4000\n" + std::string(kProbe) + "100 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 100, 4000}));
}

// [SECTION] Effects, BEGIN/END, INIT

TEST_F(ScriptTest, InsertAcceptsBothSpellingsOfAs) {
  load("INSERT_EFFECT Probe AS a\nINSERT_EFFECT Clear as b\n");
  ASSERT_EQ(effects.effects().size(), 2u);
  EXPECT_EQ(effects.effects()[1]->getName(), "b");
}

TEST_F(ScriptTest, BeginAndEndKeyTheActiveSwitch) {
  load(std::string(kProbe) + "1000 b p\n3000 e p\n5000 BEGIN p\n6000 END p\n");
  ProbeEffect& p = probe();
  EXPECT_FALSE(p.active.evaluateBool(999));
  EXPECT_TRUE(p.active.evaluateBool(1000));
  EXPECT_FALSE(p.active.evaluateBool(3000));
  EXPECT_TRUE(p.active.evaluateBool(5500));
  EXPECT_FALSE(p.active.evaluateBool(6000));
}

TEST_F(ScriptTest, InitIsAcceptedForAMissingNameAndNotLookedUp) {
  load("__TIMELINE__ 100 i ghost\n50 INIT ghost\n");
  ASSERT_EQ(events.events().size(), 2u);
  EXPECT_EQ(events.events()[0].time, 50u);
  EXPECT_EQ(events.events()[0].code, 0);
  EXPECT_EQ(events.events()[0].effectName, "ghost");
}

TEST_F(ScriptTest, UnknownCommandsAndSetLayerAreDroppedSilently) {
  load(std::string(kProbe) + "100 l p 3\n100 SET_LAYER p 4\n100 x p\n200 s p Value 1\n");
  EXPECT_EQ(keyTimes(probe().Value.keys), (std::vector<uint32_t>{0, 200, 10000}));
  EXPECT_TRUE(events.events().empty());
}

TEST_F(ScriptTest, EveryVariableIsCompactedAfterTheLoad) {
  load(std::string(kProbe) + "0 s p Value 0.5\n0 s p Speed 2\n");
  EXPECT_TRUE(probe().Value.keys.empty());
  EXPECT_FLOAT_EQ(probe().Value.value, 0.5f);
  EXPECT_FLOAT_EQ(probe().Speed.value, 2);
  EXPECT_TRUE(probe().active.keys.empty());  // (0, off) and (end, off)
  EXPECT_FALSE(probe().active.value);
}

// [SECTION] SIGNAL

TEST_F(ScriptTest, ChoiceValuesRunFromZeroToOne) {
  load(std::string(kProbe) + "100 s p Choice 0.5\n");
  EXPECT_EQ(probe().Choice.keys[1].value, 5u);
}

TEST_F(ScriptTest, FileNamesAreAddedInSetupAndIndexedInTheTimeline) {
  load("INSERT_EFFECT Probe AS p\n__SETUP__\n"
       "0 s p File \"a.png\"\n0 s p File \"b.png\"\n0 s p Scene \"s.vkg\"\n"
       "__TIMELINE__\n100 s p File \"b.png\"\n200 s p File \"zzz.png\"\n");
  ProbeEffect& p = probe();
  EXPECT_EQ(p.getString(0, 1), "b.png");
  EXPECT_EQ(p.getString(1000, 0), "s.vkg");
  EXPECT_EQ(p.added, (std::vector<std::string>{"0:a.png:1", "0:b.png:2", "1000:s.vkg:1"}));
  ASSERT_EQ(p.File.keys.size(), 4u);
  EXPECT_EQ(p.File.keys[1].value, 1u);  // b.png
  EXPECT_EQ(p.File.keys[2].value, 0u);  // unknown: index 0
}

TEST_F(ScriptTest, TextsBeforeAnySectionDoNothing) {
  load("INSERT_EFFECT Probe AS p\n0 s p File \"a.png\"\n");
  EXPECT_EQ(probe().getString(0, 0), "");
  EXPECT_TRUE(probe().added.empty());
}

TEST_F(ScriptTest, TextVariablesTakeTextKeysInEverySection) {
  load("INSERT_EFFECT Probe AS p\n100 s p Text \"hello\"\n__TIMELINE__ 200 s p Text \"bye\"\n");
  EXPECT_EQ(probe().Text.evaluateString(150), "hello");
  EXPECT_EQ(probe().Text.evaluateString(250), "bye");
}

TEST_F(ScriptTest, ATextForThePatternLeavesItAt1000) {
  testing::internal::CaptureStderr();
  load("INSERT_EFFECT Probe AS p\n__SETUP__ 0 s p Pattern \"1100\"\n"
       "__TIMELINE__ 100 s p Pattern \"1100\"\n");
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("Unsupported variable"), std::string::npos);
  EXPECT_EQ(probe().Pattern.evaluateString(150), "1000");
  EXPECT_TRUE(probe().Pattern.keys.empty());
}

TEST_F(ScriptTest, DefinedNamesStandAsValues) {
  load("DEFINE HALF 50\n" + std::string(kProbe) + "100 s p Value HALF\n");
  EXPECT_FLOAT_EQ(probe().Value.keys[1].value, 50);
}

TEST_F(ScriptTest, SignalOperandsMayFollowOnLaterLinesButTheValueIsTheNameLine) {
  load(std::string(kProbe) + "100\ns\np\nValue 3\n");
  EXPECT_FLOAT_EQ(probe().Value.keys[1].value, 3);
}

// [SECTION] TRIGGER

TEST_F(ScriptTest, TriggerTakesTheCodeValueTextAndTwoExtraNumbers) {
  load("DEFINE POS 7\n__TIMELINE__\n300 t img POS 0.25 0.5 0.75 1\n"
       "100 t img POS \"pic.png\"\n");
  ASSERT_EQ(events.events().size(), 2u);
  const TimelineEvent& first = events.events()[0];
  EXPECT_EQ(first.time, 100u);
  EXPECT_EQ(first.text, "pic.png");
  EXPECT_EQ(first.params, (std::array<float, 3>{0, 0, 0}));
  const TimelineEvent& second = events.events()[1];
  EXPECT_EQ(second.code, 7);
  EXPECT_EQ(second.effectName, "img");
  EXPECT_FLOAT_EQ(second.value, 0.25f);
  EXPECT_EQ(second.params, (std::array<float, 3>{0.25f, 0.5f, 0.75f}));
  EXPECT_TRUE(loader.extraValues.empty());
}

TEST_F(ScriptTest, MissingExtraNumbersAreZero) {
  load("DEFINE C 9\n0 t e C 4 5\n");
  ASSERT_EQ(events.events().size(), 1u);
  EXPECT_EQ(events.events()[0].params, (std::array<float, 3>{4, 5, 0}));
}

TEST_F(ScriptTest, ExtraNumbersNeverLeakIntoALaterTrigger) {
  load(std::string(kProbe) + "DEFINE C 9\n0 s p Value 1 2 3\n0 t e UNDEFINED 4 5 6\n0 t e C 7\n");
  ASSERT_EQ(events.events().size(), 1u);  // the undefined event name is dropped silently
  EXPECT_EQ(events.events()[0].params, (std::array<float, 3>{7, 0, 0}));
}

TEST_F(ScriptTest, EventsAreSortedStablyByTime) {
  load("DEFINE C 1\n300 t a C 1\n100 t b C 2\n300 i c\n100 t d C 3\n");
  EXPECT_EQ(eventTimes(), (std::vector<uint32_t>{100, 100, 300, 300}));
  EXPECT_EQ(events.events()[0].effectName, "b");
  EXPECT_EQ(events.events()[1].effectName, "d");
  EXPECT_EQ(events.events()[2].effectName, "a");
  EXPECT_EQ(events.events()[3].effectName, "c");
}

// [SECTION] Value texts

TEST_F(ScriptTest, NumbersAfterTheFirstGoToTheExtraValues) {
  float value = 0;
  std::string text;
  loader.parseValueText(" 1.5 2 3", value, text);
  EXPECT_FLOAT_EQ(value, 1.5f);
  EXPECT_EQ(loader.extraValues, (std::deque<float>{2, 3}));
  EXPECT_EQ(text, "");
}

TEST_F(ScriptTest, AQuotedNameSetsTheStringAndLeavesTheValue) {
  float value = 0;
  std::string text;
  loader.parseValueText(" \"data/images/a.png\"", value, text);
  EXPECT_EQ(text, "data/images/a.png");
  EXPECT_FLOAT_EQ(value, 0);
}

TEST_F(ScriptTest, AFailedExtraReadAddsNothing) {
  float value = 0;
  std::string text;
  loader.parseValueText(" -2 ", value, text);
  EXPECT_FLOAT_EQ(value, -2);
  EXPECT_TRUE(loader.extraValues.empty());
  loader.parseValueText("4 5 x", value, text);
  EXPECT_FLOAT_EQ(value, 4);
  EXPECT_EQ(loader.extraValues, (std::deque<float>{5}));
}

TEST_F(ScriptTest, LaterPartsReplaceEarlierOnes) {
  loader.defines["N"] = 8;
  float value = 0;
  std::string text;
  loader.parseValueText("\t\"a\" \"b\" 3", value, text);
  EXPECT_EQ(text, "b");
  EXPECT_FLOAT_EQ(value, 3);
  loader.parseValueText("N 2.5e1", value, text);
  EXPECT_FLOAT_EQ(value, 25);
  loader.parseValueText("2 N", value, text);  // the blank before N tries an extra number
  EXPECT_FLOAT_EQ(value, 2);
}

TEST_F(ScriptTest, TrailingWhiteSpaceEndsAValueText) {
  float value = 0;
  std::string text;
  loader.parseValueText("\"a.png\"  \r", value, text);
  EXPECT_EQ(text, "a.png");
  loader.parseValueText("7\r", value, text);
  EXPECT_FLOAT_EQ(value, 7);
}

TEST_F(ScriptTest, ValuesStartingWithPlusOrPointAreNames) {
  loader.defines["+1"] = 11;
  loader.defines[".5"] = 12;
  float value = 0;
  std::string text;
  loader.parseValueText("+1", value, text);
  EXPECT_FLOAT_EQ(value, 11);
  loader.parseValueText(".5", value, text);
  EXPECT_FLOAT_EQ(value, 12);
}

TEST_F(ScriptTest, AValueTextOf199CharactersIsRead) {
  const std::string padding(199 - 2, ' ');
  load(std::string(kProbe) + "100 s p Value" + padding + " 4\n");  // " 4" ends at 199
  EXPECT_FLOAT_EQ(probe().Value.keys[1].value, 4);
}

TEST_F(ScriptTest, AValueTextAtTheEndOfTheFileNeedsNoNewline) {
  load(std::string(kProbe) + "100 s p Value 4");
  EXPECT_FLOAT_EQ(probe().Value.keys[1].value, 4);
}

// [SECTION] A recorder instead of the fatal report stops the load

std::vector<std::string> recorded;
void record(const char*, int, const char* message, const char* detail) {
  recorded.push_back(std::string(message) + (detail ? std::string("|") + detail : ""));
}

TEST_F(ScriptTest, WithARecorderTheLoadStopsAtTheFirstError) {
  recorded.clear();
  EffectList recordingEffects(kTestTypes, record);
  ScriptLoader recording(record);
  recording.loadText("INSERT_EFFECT Probe AS p\n__TIMELINE__ 100 b nobody\n200 b p\nINSERT_EFFECT X AS y\n",
                     recordingEffects, events);
  EXPECT_TRUE(recording.failed());
  EXPECT_EQ(recorded, (std::vector<std::string>{"Effect not found|nobody"}));
  EXPECT_TRUE(recordingEffects.findEffect("p")->active.keys.empty());  // 200 b p never ran

  recorded.clear();
  recording.loadText("INSERT_EFFECT Nothing AS q\n100 b q\n", recordingEffects, events);
  EXPECT_EQ(recorded, (std::vector<std::string>{"EffectType not found|Nothing"}));
  EXPECT_TRUE(recording.failed());
  recording.loadText("", recordingEffects, events);
  EXPECT_FALSE(recording.failed());
}

// [SECTION] Collecting every problem instead of stopping

// A type whose constructor fails the way a broken shader would, deep inside an effect.
const EffectType kCollectTypes[] = {
    kTestTypes[0],
    {"Exploding", [](const std::string&) -> Effect* {
       reportErrorText("engine/FragmentProgram", 9, "CG error", "broken", true);
       return nullptr;
     }},
};

TEST_F(ScriptTest, CollectingReportsEveryProblemAtItsFileAndLineAndLoadsTheRest) {
  write("part.script",
        "DEFINE CODE 7\n"
        "100 s p Nope 1\n"  // 2
        "200 s p Value 2\n");
  std::vector<std::string> found;
  EffectList collectingEffects(kCollectTypes, ScriptLoader::reportToCollectingLoad);
  loader.collect({[&](const ScriptProblem& problem) { found.push_back(problem.text()); }, {}});
  loader.loadText("INSERT_EFFECT Probe AS p\n"        // 1
                  "INSERT_EFFECT Bogus AS b\n"        // 2
                  "INSERT_EFFECT Exploding AS e\n"    // 3
                  "__TIMELINE__\n"                    // 4
                  "UNDEFINED b p\n"                   // 5
                  "INCLUDE \"missing.script\"\n"      // 6
                  "INCLUDE \"part.script\"\n"         // 7
                  "300 b nobody 100 s p Value 3\n"    // 8: the rest of the line goes with it
                  "400 s p Value 4\n"                 // 9
                  "500 t p NOT_DEFINED 1\n"           // 10
                  "600 t ghost CODE 1\n"              // 11
                  "700 i ghost\n"                     // 12
                  "800 SIGANL p\n"                    // 13
                  "900 s p File \"absent.png\"\n",    // 14
                  collectingEffects, events);
  loader.collect({});
  EXPECT_EQ(found, (std::vector<std::string>{
                       "script:2: EffectType not found: Bogus",
                       "script:3: CG error: broken",
                       "script:5: DEFINE not found: UNDEFINED",
                       "script:6: script: could not open file for parsing: missing.script",
                       "part.script:2: Variable not found: Nope",
                       "script:8: Effect not found: nobody",
                       "script:10: TRIGGER event not defined: NOT_DEFINED (the event is dropped)",
                       "script:13: unknown timeline command: SIGANL (the statement is dropped)",
                       "script:14: not in the string table of p: absent.png (index 0 is keyed)",
                       "script:11: Effect not found: ghost (the event is never delivered)",
                       "script:12: Effect not found: ghost (the event is never delivered)",
                   }));
  EXPECT_TRUE(loader.failed());
  auto* p = dynamic_cast<ProbeEffect*>(collectingEffects.findEffect("p"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(keyTimes(p->Value.keys), (std::vector<uint32_t>{0, 200, 400, 10000}));
  EXPECT_EQ(eventTimes(), (std::vector<uint32_t>{600, 700}));
}

TEST_F(ScriptTest, CollectingHandsEachTriggerTextToTheCollectorAndNoticesTextsThatDoNothing) {
  std::vector<std::string> seen;
  loader.collect({[&](const ScriptProblem& problem) { seen.push_back(problem.text()); },
                  [&](int32_t code, const std::string& text) {
                    seen.push_back(std::to_string(code) + " " + text + " at line " +
                                   std::to_string(loader.statementLocation().second));
                  }});
  load("DEFINE FP 36\nINSERT_EFFECT Probe AS p\n0 s p File \"early.png\"\n__TIMELINE__\n"
       "100 t p FP \"fp.cg\"\n200 t p FP 1\n");
  loader.collect({});
  EXPECT_EQ(seen, (std::vector<std::string>{"script:3: a text before __SETUP__ and __TIMELINE__ does nothing: early.png",
                                            "36 fp.cg at line 5"}));
  EXPECT_FALSE(loader.failed());  // what a run passes over does not fail the load
}

TEST_F(ScriptTest, ASelfIncludingScriptIsStopped) {
  recorded.clear();
  write("self.script", "INCLUDE \"self.script\"\n");
  ScriptLoader recording(record);
  recording.loadText("INCLUDE \"self.script\"\n", effects, events);
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0], "script: INCLUDE nested too deeply|self.script");
}

// [SECTION] Fatal messages, exactly

using ScriptDeathTest = ScriptTest;

TEST_F(ScriptDeathTest, MissingFile) {
  EXPECT_EXIT(loader.load("nothing.script", effects, events), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ script: could not open file for parsing\n$");
  EXPECT_EXIT(load("INCLUDE \"missing.script\"\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ script: could not open file for parsing\n$");
}

TEST_F(ScriptDeathTest, UndefinedName) {
  EXPECT_EXIT(load("DEFINE A 1\nA + B s p Value 1\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: B\n$");
  EXPECT_EXIT(load("-0 s p Value 1\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: -0\n$");
}

TEST_F(ScriptDeathTest, SignalOrTriggerWithNothingAfterItsNames) {
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p Value\n200 b p\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: \n$");
  EXPECT_EXIT(load("DEFINE C 1\n100 t p C   \n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: \n$");
}

TEST_F(ScriptDeathTest, UndefinedValueName) {
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p Value FULL\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: FULL\n$");
}

TEST_F(ScriptDeathTest, BadStrings) {
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p File \"open.png\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Error in script string: open\\.png\n$");
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p File \"\"\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Error in script string: \n$");
  const std::string hundred(100, 'a');
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p File \"" + hundred + "\"\n"),
              testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Error in script string: a{99}\n$");
}

TEST_F(ScriptDeathTest, NinetyNineCharacterStringIsFine) {
  const std::string name(99, 'a');
  load("INSERT_EFFECT Probe AS p\n__SETUP__\n0 s p File \"" + name + "\"\n");
  EXPECT_EQ(probe().getString(0, 0), name);
}

TEST_F(ScriptDeathTest, ValueTextLongerThan199Characters) {
  const std::string padding(198, ' ');
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p Value" + padding + "12\n"),
              testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ script: value text longer than 199 "
              "characters: +1?\n$");
}

TEST_F(ScriptDeathTest, DefineStartingWithADigit) {
  EXPECT_EXIT(load("DEFINE 1abc 5\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE id cannot start with digit: 1abc\n$");
}

TEST_F(ScriptDeathTest, InsertWithoutAs) {
  EXPECT_EXIT(load("INSERT_EFFECT Probe IS p\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Syntax error in INSERT_EFFECT command\n$");
  EXPECT_EXIT(load("INSERT_EFFECT Probe As p\n"), testing::ExitedWithCode(1),
              "Syntax error in INSERT_EFFECT command\n$");
}

TEST_F(ScriptDeathTest, UnknownEffectType) {
  EXPECT_EXIT(load("INSERT_EFFECT probe AS p\n"), testing::ExitedWithCode(1),
              "^demos/EffectList\\.cpp:[0-9]+ EffectType not found: probe\n$");
}

TEST_F(ScriptDeathTest, BeginBeforeInsert) {
  EXPECT_EXIT(load("__TIMELINE__ 100 b p\nINSERT_EFFECT Probe AS p\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Effect not found: p\n$");
  EXPECT_EXIT(load("__TIMELINE__ 100 e q\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Effect not found: q\n$");
  EXPECT_EXIT(load("__TIMELINE__ 100 s q Value 1\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Effect not found: q\n$");
}

TEST_F(ScriptDeathTest, UnknownVariable) {
  EXPECT_EXIT(load(std::string(kProbe) + "100 s p speed 1\n"), testing::ExitedWithCode(1),
              "^demoSystem/ScriptLoader\\.cpp:[0-9]+ Variable not found: speed\n$");
}

}  // namespace

// [SECTION] Names read ahead

TEST(QuotedNamesInScript, FollowsIncludesOnceEachAndKeepsTheOrder) {
  WorkingDirectory work("quoted_names");
  work.write("main.script",
             "INCLUDE \"a.script\"\nSIGNAL img Datafile \"x.png\"\n"
             "INCLUDE   \"a.script\"\n0 S t Text \"y.jpg\" \"unterminated\n");
  work.write("a.script", "SIGNAL i Datafile \"in_a.png\"\nINCLUDE \"main.script\"\n");
  EXPECT_EQ(quotedNamesInScript("main.script"),
            (std::vector<std::string>{"in_a.png", "x.png", "y.jpg"}));
  EXPECT_TRUE(quotedNamesInScript("absent.script").empty());
}
