#include "demoSystem/Effect.h"

#include <gtest/gtest.h>

#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"

namespace {

class TestEffect : public Effect {
 public:
  explicit TestEffect(const std::string& name, bool followsPattern = false) : Effect(name) {
    patternEnabled = followsPattern;
  }
  void render(uint32_t) override {}
  void onPatternStep(float scaled) override { steps.push_back(scaled); }
  void onStringAdded(int32_t table, const std::string& text, int32_t count) override {
    added.push_back(std::to_string(table) + ":" + text + ":" + std::to_string(count));
  }
  std::vector<float> steps;
  std::vector<std::string> added;
};

TimelineEvent event(int32_t code, float value = 0, const std::string& text = "", uint32_t time = 0) {
  TimelineEvent e;
  e.time = time;
  e.code = code;
  e.value = value;
  e.text = text;
  e.params = {value, 0, 0};
  return e;
}

class EffectTest : public testing::Test {
 protected:
  void SetUp() override {
    demoEndTime = 10000;
    patternStepLength = 100;
    lastPatternStep = 1000;
  }
  void TearDown() override { demoEndTime = 0; }
};

// [SECTION] Construction

TEST_F(EffectTest, BaseVariablesAreRegisteredInOrderWithoutActive) {
  TestEffect effect("fx");
  std::vector<std::string> names;
  std::vector<int32_t> kinds;
  for (Variable* v : effect.getVariables()) {
    names.push_back(v->name);
    kinds.push_back(v->kind);
    EXPECT_EQ(v->stringTable, 10000) << v->name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Speed", "SpectrumStr", "Pattern", "Factor0", "Factor1",
                                              "Factor2", "Factor3", "BlendSrc", "BlendDst",
                                              "BlendEquation"}));
  EXPECT_EQ(kinds, (std::vector<int32_t>{1, 1, 4, 1, 1, 1, 1, 3, 3, 3}));
  EXPECT_EQ(effect.active.name, "fx");
  EXPECT_EQ(effect.getName(), "fx");
}

TEST_F(EffectTest, Defaults) {
  TestEffect effect("fx");
  EXPECT_FLOAT_EQ(effect.Speed.value, 0.5f);
  EXPECT_EQ(effect.Speed.interpolation, Variable::kLinear);
  EXPECT_EQ(effect.Factor2.interpolation, Variable::kEaseIn);
  EXPECT_EQ(effect.Pattern.value, "1000");
  EXPECT_EQ(effect.BlendSrc.value, 1u);
  EXPECT_EQ(effect.BlendDst.value, 0u);
  EXPECT_EQ(effect.patternValue, '0');
  EXPECT_FALSE(effect.patternEnabled);
  EXPECT_EQ(effect.sourceEffect, nullptr);
  EXPECT_EQ(effect.fragmentProgram, nullptr);
  EXPECT_EQ(effect.vertexProgram, nullptr);
}

// [SECTION] Clock

TEST_F(EffectTest, StartResetsTheLocalClockAndUpdateScalesIt) {
  TestEffect effect("fx");
  effect.start(1000);
  EXPECT_EQ(effect.startTime, 1000u);
  EXPECT_EQ(effect.currentTime, 1000u);
  effect.update(1500);
  EXPECT_EQ(effect.localTime, 500);
  EXPECT_FLOAT_EQ(effect.speedFactor, 0.1f);
  EXPECT_FLOAT_EQ(effect.scaledTime, 50);
  effect.handleEvent(event(19, 200.9f));
  EXPECT_EQ(effect.timeOffset, 200);
  effect.update(1500);
  EXPECT_EQ(effect.localTime, 300);
}

TEST_F(EffectTest, ATimeBeforeTheStartScalesAsAHugeUnsignedTime) {
  TestEffect effect("fx");
  effect.start(1000);
  effect.update(999);
  EXPECT_EQ(effect.localTime, -1);
  EXPECT_FLOAT_EQ(effect.scaledTime, 0.1f * 4294967295.0f);
}

TEST_F(EffectTest, InitEventStartsTheEffectAtTheEventTime) {
  TestEffect effect("fx");
  effect.handleEvent(event(0, 0, "", 4242));
  EXPECT_EQ(effect.startTime, 4242u);
  EXPECT_EQ(effect.localTime, 0);
}

// [SECTION] Pattern

TEST_F(EffectTest, DefaultPatternIsOnForTheFirstStepOfFour) {
  TestEffect effect("fx", true);
  effect.start(0);
  std::string seen;
  for (uint32_t t : {0u, 99u, 100u, 399u, 400u, 499u, 500u, 850u}) {
    effect.update(t);
    seen += effect.getPatternValue();
  }
  EXPECT_EQ(seen, "11001101");
}

TEST_F(EffectTest, StepChangesFireOnPatternStepWithTheScaledTime) {
  TestEffect effect("fx", true);
  effect.start(0);
  effect.update(0);    // step 0 differs from the initial 1000
  effect.update(50);   // still step 0
  effect.update(150);  // step 1
  EXPECT_EQ(effect.steps, (std::vector<float>{0, 15}));
  EXPECT_EQ(lastPatternStep, 1u);
}

TEST_F(EffectTest, TwoPatternEffectsSeeEachOthersStepChanges) {
  TestEffect a("a", true);
  TestEffect b("b", true);
  a.start(0);
  b.start(100);
  // At 150 and 160 a is at step 1 and b at step 0: each update changes the shared step.
  a.update(150);
  b.update(150);
  a.update(160);
  b.update(160);
  EXPECT_EQ(a.steps.size(), 2u);
  EXPECT_EQ(b.steps.size(), 2u);
}

TEST_F(EffectTest, EmptyPatternIsStepZeroAndKeepsTheLastCharacter) {
  TestEffect effect("fx", true);
  effect.Pattern.value = "";
  effect.patternValue = 'x';
  effect.start(0);
  effect.update(300);
  EXPECT_EQ(effect.patternStep, 0u);
  EXPECT_EQ(effect.patternValue, 'x');
}

TEST_F(EffectTest, BeatLengthComesFromTheDemo) {
  patternStepLength = 250;
  TestEffect effect("fx", true);
  effect.Pattern.value = "01";
  effect.start(0);
  effect.update(249);
  EXPECT_EQ(effect.patternValue, '0');
  effect.update(250);
  EXPECT_EQ(effect.patternValue, '1');
}

TEST_F(EffectTest, PatternWithoutPatternEnabledIsReportedButReturned) {
  TestEffect effect("fx");
  effect.patternValue = '7';
  testing::internal::CaptureStderr();
  EXPECT_EQ(effect.getPatternValue(), '7');
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "pattern value retrieved when patternEnabled is false"),
            std::string::npos);
}

// [SECTION] String tables

TEST_F(EffectTest, StringTablesZeroAndThousand) {
  TestEffect effect("fx");
  EXPECT_EQ(effect.addString(0, "a.png"), 0);
  EXPECT_EQ(effect.addString(0, "b.png"), 1);
  EXPECT_EQ(effect.addString(1000, "cam"), 0);
  EXPECT_EQ(effect.added, (std::vector<std::string>{"0:a.png:1", "0:b.png:2", "1000:cam:1"}));
  EXPECT_EQ(effect.findString(0, "b.png"), 1);
  EXPECT_EQ(effect.findString(0, "zzz"), 0);  // unknown: the first entry
  EXPECT_EQ(effect.findString(7, "a.png"), 0);
  EXPECT_EQ(effect.getString(0, 1), "b.png");
  EXPECT_EQ(effect.getString(0, 2), "");
  EXPECT_EQ(effect.getString(0, -1), "");
  EXPECT_EQ(effect.getString(5, 0), "");
  effect.clearStrings(0);
  EXPECT_EQ(effect.getString(0, 0), "");
  EXPECT_EQ(effect.getString(1000, 0), "cam");
}

TEST_F(EffectTest, OtherTablesAreUnsupported) {
  TestEffect effect("fx");
  testing::internal::CaptureStderr();
  EXPECT_EQ(effect.addString(10000, "x"), -1);
  effect.clearStrings(3);
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(effect.added, (std::vector<std::string>{"10000:x:0"}));
  size_t count = 0;
  for (size_t at = out.find("Unsupported variable"); at != std::string::npos;
       at = out.find("Unsupported variable", at + 1))
    ++count;
  EXPECT_EQ(count, 2u);
}

// [SECTION] Blending

TEST_F(EffectTest, BlendCodesMapToGlAndOthersPassUnchanged) {
  EXPECT_EQ(blendFactorFromCode(0), static_cast<GLenum>(GL_ZERO));
  EXPECT_EQ(blendFactorFromCode(4), static_cast<GLenum>(GL_SRC_ALPHA));
  EXPECT_EQ(blendFactorFromCode(10), static_cast<GLenum>(GL_SRC_ALPHA_SATURATE));
  EXPECT_EQ(blendFactorFromCode(11), 11u);
  EXPECT_EQ(blendFactorFromCode(GL_CONSTANT_ALPHA), static_cast<GLenum>(GL_CONSTANT_ALPHA));
  EXPECT_EQ(blendEquationFromCode(1), static_cast<GLenum>(GL_FUNC_SUBTRACT));
  EXPECT_EQ(blendEquationFromCode(2), static_cast<GLenum>(GL_FUNC_REVERSE_SUBTRACT));
  EXPECT_EQ(blendEquationFromCode(GL_MAX), static_cast<GLenum>(GL_MAX));
}

TEST_F(EffectTest, UpdateDerivesTheBlendSettingsAtItsTime) {
  TestEffect effect("fx");
  effect.BlendSrc.setKey(4, 0);
  effect.BlendDst.setKey(5, 0);
  effect.BlendDst.setKey(1, 500);
  effect.BlendEquation.setKey(2, 0);
  effect.update(100);
  EXPECT_EQ(effect.getBlendSrcFactor(), static_cast<GLenum>(GL_SRC_ALPHA));
  EXPECT_EQ(effect.getBlendDstFactor(), static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
  EXPECT_EQ(effect.getBlendEquation(), static_cast<GLenum>(GL_FUNC_REVERSE_SUBTRACT));
  effect.update(600);
  EXPECT_EQ(effect.getBlendDstFactor(), static_cast<GLenum>(GL_ONE));
}

// [SECTION] Events

TEST_F(EffectTest, PulseIsTheSpectrumStrengthTimesTheValue) {
  TestEffect effect("fx");
  effect.SpectrumStr.setKeys({{0, 0}, {1000, 2}});
  effect.handleEvent(event(5, 3, "", 500));
  EXPECT_FLOAT_EQ(effect.pulse, 3);
}

TEST_F(EffectTest, SpeedInterpolationEvents) {
  TestEffect effect("fx");
  effect.handleEvent(event(41));
  EXPECT_EQ(effect.Speed.interpolation, Variable::kEaseIn);
  effect.handleEvent(event(40));
  EXPECT_EQ(effect.Speed.interpolation, Variable::kLinear);
}

TEST_F(EffectTest, SourceEffectIsLookedUpByNameInTheRegistry) {
  const EffectType types[] = {
      {"Test", [](const std::string& n) -> Effect* { return new TestEffect(n); }}};
  EffectList registry(types);
  registry.insertEffect("src", "Test");
  registry.insertEffect("dst", "Test");
  effectRegistry = &registry;
  Effect* dst = registry.findEffect("dst");
  dst->handleEvent(event(2, 0, "src"));
  EXPECT_EQ(dst->sourceEffect, registry.findEffect("src"));
  dst->handleEvent(event(2, 0, "nobody"));
  EXPECT_EQ(dst->sourceEffect, nullptr);
  effectRegistry = nullptr;
}

TEST_F(EffectTest, UnknownCodesAreIgnored) {
  TestEffect effect("fx");
  effect.handleEvent(event(999, 5));
  effect.handleEvent(event(-3, 5));
  EXPECT_EQ(effect.timeOffset, 0);
  EXPECT_FLOAT_EQ(effect.pulse, 0);
}

TEST_F(EffectTest, RenderingANullSourceIsFatal) {
  TestEffect effect("fx");
  EXPECT_EXIT(effect.renderSourceToTarget(nullptr, 0), testing::ExitedWithCode(1),
              "^demoSystem/Effect\\.cpp:[0-9]+ assertion failed\n$");
}

}  // namespace
