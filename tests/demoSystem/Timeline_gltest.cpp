#include "demoSystem/Timeline.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/Display.h"
#include "base/Random.h"
#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "effects/LayerEffects.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> frameLog;

// Logs every call the frame makes; its render also disturbs both matrices, which the
// frame must put back.
class LogEffect : public Effect {
 public:
  explicit LogEffect(const std::string& name) : Effect(name) {}
  void update(uint32_t time) override {
    Effect::update(time);
    frameLog.push_back("update " + getName() + " " + std::to_string(time));
  }
  void render(uint32_t time) override {
    frameLog.push_back("render " + getName() + " " + std::to_string(time) +
                       (wasActive ? " was" : " not"));
    glMatrixMode(GL_PROJECTION);
    glTranslatef(5, 5, 5);
    glMatrixMode(GL_MODELVIEW);
    glScalef(2, 2, 2);
  }
  void handleEvent(const TimelineEvent& event) override {
    frameLog.push_back("event " + getName() + " " + std::to_string(event.code) + " @" +
                       std::to_string(event.time));
    Effect::handleEvent(event);
  }
};

const EffectType kLogTypes[] = {
    {"Log", [](const std::string& n) -> Effect* { return new LogEffect(n); }},
};

class TimelineTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl.ok());
    demoEndTime = 10000;
    screenWidth = 32;
    screenHeight = 16;
    frameLog.clear();
    effectRegistry = &effects;
    eventList = &events;
  }
  void TearDown() override {
    effectRegistry = nullptr;
    eventList = nullptr;
    demoEndTime = 0;
  }
  void load(const std::string& script) { loader.loadText(script, effects, events); }

  GlTestContext gl{32, 16};
  EffectList effects{kLogTypes};
  EventList events;
  ScriptLoader loader;
};

TEST_F(TimelineTest, EventsFireFirstInTimeOrderThenUpdatesThenRenders) {
  load("DEFINE GO 42\nINSERT_EFFECT Log AS a\nINSERT_EFFECT Log AS b\n__TIMELINE__\n"
       "0 b b\n0 b a\n50 t b GO 1\n20 i a\n50 i a\n60 i nobody\n");
  renderFrame(100);
  EXPECT_EQ(frameLog, (std::vector<std::string>{
                          "event a 0 @20", "event b 42 @50", "event a 0 @50",
                          "update a 100", "update b 100", "render a 100 was", "render b 100 was"}));
}

TEST_F(TimelineTest, OnlyActiveEffectsRunAndWasActiveFollows) {
  load("INSERT_EFFECT Log AS a\nINSERT_EFFECT Log AS b\n__TIMELINE__\n100 b a\n200 e a\n150 b b\n");
  renderFrame(120);
  EXPECT_EQ(frameLog, (std::vector<std::string>{"update a 120", "render a 120 was"}));
  EXPECT_TRUE(effects.findEffect("a")->wasActive);
  EXPECT_FALSE(effects.findEffect("b")->wasActive);
  frameLog.clear();
  renderFrame(200);
  EXPECT_EQ(frameLog, (std::vector<std::string>{"update b 200", "render b 200 was"}));
  EXPECT_FALSE(effects.findEffect("a")->wasActive);
}

TEST_F(TimelineTest, AnEventFiresOnceEvenAfterABackwardSeek) {
  load("INSERT_EFFECT Log AS a\n__TIMELINE__\n100 i a\n200 i a\n300 i a\n");
  renderFrame(150);
  renderFrame(50);
  renderFrame(150);
  EXPECT_EQ(frameLog, (std::vector<std::string>{"event a 0 @100"}));
  frameLog.clear();
  renderFrame(1000);  // a forward jump fires every skipped event in order
  EXPECT_EQ(frameLog, (std::vector<std::string>{"event a 0 @200", "event a 0 @300"}));
}

TEST_F(TimelineTest, EventsAndBeginReachOnlyTheFirstOfTwoEqualNames) {
  load("INSERT_EFFECT Log AS twin\nINSERT_EFFECT Log AS twin\n__TIMELINE__\n0 b twin\n10 i twin\n");
  renderFrame(20);
  EXPECT_EQ(frameLog, (std::vector<std::string>{"event twin 0 @10", "update twin 20",
                                                "render twin 20 was"}));
  EXPECT_EQ(effects.effects()[0]->startTime, 10u);
  EXPECT_EQ(effects.effects()[1]->startTime, 0u);
}

TEST_F(TimelineTest, TheFrameSetsTheViewportAndRestoresTheMatrices) {
  load("INSERT_EFFECT Log AS a\n__TIMELINE__\n0 b a\n");
  glViewport(0, 0, 1, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_TEXTURE);
  renderFrame(5);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 32);
  EXPECT_EQ(viewport[3], 16);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  GLfloat projection[16], modelview[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  EXPECT_FLOAT_EQ(projection[12], 0);
  EXPECT_FLOAT_EQ(modelview[0], 1);
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TimelineTest, TheFrameRecordsItsTimeAndResetsTheStatistics) {
  load("INSERT_EFFECT Log AS a\n");
  RenderStats::add(7);
  RenderStats::add(5);
  EXPECT_EQ(RenderStats::count, 2u);
  EXPECT_EQ(RenderStats::sum, 12u);
  renderFrame(777);
  EXPECT_EQ(currentDemoTime, 777u);
  EXPECT_EQ(RenderStats::count, 0u);
  EXPECT_EQ(RenderStats::sum, 0u);
}

TEST_F(TimelineTest, WithoutARegistryTheFrameOnlyResetsTheStatistics) {
  effectRegistry = nullptr;
  currentDemoTime = 3;
  RenderStats::add(1);
  renderFrame(500);
  EXPECT_EQ(currentDemoTime, 3u);
  EXPECT_EQ(RenderStats::count, 0u);
}

// [SECTION] The process-wide load, as the launcher runs it

class LoadScriptTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl.ok());
    std::filesystem::create_directories("data/scripts");
    screenWidth = 16;
    screenHeight = 16;
    effectRegistry = &registry;
  }
  void TearDown() override {
    effectRegistry = nullptr;
  }
  static void write(const std::string& text) {
    std::ofstream("data/scripts/demo_kx06.script") << text;
  }

  GlTestContext gl{16, 16};
  EffectList registry;
  WorkingDirectory work{"timeline_test"};
};

TEST_F(LoadScriptTest, AReloadRebuildsTheTimelineAndKeepsOffsetPartsAndHeldValues) {
  write("DEMO_START 500 DEMO_END 8000 DEMO_BEAT 120\nDEFINE_DEMO_PART 2000\n"
        "INSERT_EFFECT Clear AS bg\n__TIMELINE__\nTIMEOFFSET 100\n0 b bg\n0 s bg Red 1\n");
  loadScript("data/scripts/demo_kx06.script");
  ASSERT_NE(effectRegistry, nullptr);
  ASSERT_NE(eventList, nullptr);
  EXPECT_EQ(demoStartTime, 500u);
  EXPECT_EQ(playbackEndTime, 8000u);
  EXPECT_EQ(patternStepLength, 120u);
  ASSERT_EQ(effectRegistry->effects().size(), 1u);
  Effect* first = effectRegistry->findEffect("bg");
  EXPECT_FALSE(first->active.evaluateBool(99));
  EXPECT_TRUE(first->active.evaluateBool(100));

  renderFrame(1000);
  EXPECT_EQ(gl.pixel(8, 8), (std::array<uint8_t, 4>{255, 0, 0, 255}));
  const int firstDraw = demoRand();
  lastPatternStep = 3;  // as a beat-following effect leaves it

  write("DEFINE_DEMO_PART 1000\nINSERT_EFFECT Clear AS bg2\nINSERT_EFFECT Clear AS bg3\n"
        "__TIMELINE__\n0 b bg3\n0 s bg3 Green 1\n");
  loadScript("data/scripts/demo_kx06.script");
  ASSERT_EQ(effectRegistry->effects().size(), 2u);
  EXPECT_EQ(effectRegistry->findEffect("bg"), nullptr);
  EXPECT_TRUE(effectRegistry->findEffect("bg3")->active.evaluateBool(100));  // offset kept
  EXPECT_FALSE(effectRegistry->findEffect("bg3")->active.evaluateBool(99));
  EXPECT_EQ(demoStartTime, 500u);
  EXPECT_EQ(playbackEndTime, 8000u);
  EXPECT_EQ(patternStepLength, 120u);
  EXPECT_EQ(partTimes, (std::vector<uint32_t>{1000, 2000}));
  EXPECT_EQ(demoRand(), firstDraw);  // the random sequence starts again with each load
  EXPECT_EQ(lastPatternStep, 1000u);  // so does the pattern step last seen

  renderFrame(1000);
  EXPECT_EQ(gl.pixel(8, 8), (std::array<uint8_t, 4>{0, 255, 0, 255}));
}

}  // namespace
