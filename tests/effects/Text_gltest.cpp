// The text effects: the typewriter's steps (also after a late frame) read from its state and
// from the frame, and the statistics overlay drawn, or not, over a frame of known content.
#include "effects/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/ClockCounter.h"
#include "base/Display.h"
#include "base/FrameRateCounter.h"
#include "base/FrameStats.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"

namespace {

using Rgba = std::array<uint8_t, 4>;
// 0.55 of the width falls early in a column, so the typewriter's cursor has a column of its
// own right of the picture.
constexpr int kWidth = 322, kHeight = 240;

TimelineEvent event(int32_t code, std::array<float, 3> params = {0, 0, 0}, const std::string& text = "",
                    uint32_t time = 0) {
  TimelineEvent e;
  e.time = time;
  e.code = code;
  e.value = params[0];
  e.params = params;
  e.text = text;
  return e;
}

// Draws into RenderStats as meshes do: 300 draws of 200 each.
class MeshStandIn : public Effect {
 public:
  using Effect::Effect;
  void render(uint32_t) override {
    for (int i = 0; i < 300; ++i) RenderStats::add(200);
  }
};

const EffectType kTypes[] = {
    {"MeshStandIn", [](const std::string& n) -> Effect* { return new MeshStandIn(n); }},
    {"TypeWriter", [](const std::string& n) -> Effect* { return new TypeWriter(n); }},
    {"ViewFPS", [](const std::string& n) -> Effect* { return new ViewFPS(n); }},
};

std::string png(uint8_t r, uint8_t g, uint8_t b) {
  const testimages::Bytes pixels = {r, g, b, 255, r, g, b, 255, r, g, b, 255, r, g, b, 255};
  const testimages::Bytes bytes = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGBA, 8, pixels);
  return std::string(bytes.begin(), bytes.end());
}

class TextTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    context = new GlTestContext(kWidth, kHeight);
    work = new WorkingDirectory("text_effects");
    work->write("data/white.png", png(255, 255, 255));
    work->write("data/red.png", png(255, 0, 0));
  }
  static void TearDownTestSuite() {
    delete work;
    delete context;
  }
  void SetUp() override {
    ASSERT_TRUE(context->ok());
    screenWidth = kWidth;
    screenHeight = kHeight;
    demoEndTime = 10000;
    playbackEndTime = 10000;
    effectRegistry = &registry;
    eventList = nullptr;
    statsOverlay = false;
  }
  void TearDown() override {
    registry.clear();
    effectRegistry = nullptr;
    demoEndTime = 0;
    playbackEndTime = 60000;
    statsOverlay = false;
    partTimes.clear();
    demoClock.setCounter(nullptr);
  }

  template <class T>
  T& add(const std::string& name, const std::string& type, bool active = true) {
    EXPECT_TRUE(registry.insertEffect(name, type));
    Effect* effect = registry.findEffect(name);
    if (active) effect->active.setKey(1, 0);
    return *static_cast<T*>(effect);
  }
  static void black() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  static Rgba column(int x, int row) { return context->pixel(x, row); }

  static GlTestContext* context;
  static WorkingDirectory* work;
  EffectList registry{kTypes};
};

GlTestContext* TextTest::context = nullptr;
WorkingDirectory* TextTest::work = nullptr;

// [SECTION] TypeWriter

class TypeWriterTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    writer = &add<TypeWriter>("tw", "TypeWriter");
    writer->addString(0, "data/white.png");
    writer->Speed.value = 50;  // the fade reaches full at the first frame: a sharp edge
    writer->handleEvent(event(0, {}, "", 1000));
  }
  // Frames at the given times; returns the times at which the edge moved.
  std::vector<uint32_t> framesAt(const std::vector<uint32_t>& times) {
    std::vector<uint32_t> steps;
    for (uint32_t t : times) {
      const float before = writer->edge;
      black();
      renderFrame(t);
      if (writer->edge != before) steps.push_back(t);
    }
    return steps;
  }
  static std::vector<uint32_t> every20ms(uint32_t from, uint32_t to) {
    std::vector<uint32_t> times;
    for (uint32_t t = from; t <= to; t += 20) times.push_back(t);
    return times;
  }
  // How many columns of the middle row the picture covers, from the left.
  static int coveredColumns() {
    int x = 0;
    while (x < kWidth && context->pixel(x, kHeight / 2)[0] > 150) ++x;
    return x;
  }
  TypeWriter* writer = nullptr;
};

TEST_F(TypeWriterTest, AtASteadyRateTheEdgeStepsEvery125msAndIsDoneAfterNineSteps) {
  // A step is due once more than 125 ms passed since the last one was due.
  EXPECT_THAT(framesAt(every20ms(1000, 2120)), testing::ElementsAre(1140, 1260, 1380, 1520, 1640, 1760, 1880, 2020));
  EXPECT_FLOAT_EQ(writer->edge, 0.95f);
  EXPECT_FALSE(writer->done);
  EXPECT_THAT(framesAt({2140}), testing::ElementsAre(2140));
  EXPECT_TRUE(writer->done);
  EXPECT_EQ(coveredColumns(), kWidth);
  EXPECT_THAT(framesAt(every20ms(2160, 2300)), testing::ElementsAre(2260));  // it keeps growing
}

TEST_F(TypeWriterTest, ALateFrameStepsOnceAndTheKeptOvershootCatchesUp) {
  std::vector<uint32_t> times = every20ms(1000, 1100);
  times.push_back(1500);  // 400 ms late: three steps overdue
  for (uint32_t t : every20ms(1520, 2400)) times.push_back(t);
  // One step in the late frame, the overdue ones in the frames after it, then the steady
  // schedule again, not a step in every frame.
  EXPECT_THAT(framesAt(times),
              testing::ElementsAre(1500, 1520, 1540, 1560, 1640, 1760, 1880, 2020, 2140, 2260, 2380));
  EXPECT_TRUE(writer->done);
}

TEST_F(TypeWriterTest, TheFrameShowsTheUncoveredPartAndTheCursorAtItsEdge) {
  framesAt({1000});
  // 0.55 of 322 columns ends at 177.1: 177 of them, at brightness 0.9 times alpha 0.9.
  EXPECT_EQ(coveredColumns(), 177);
  EXPECT_NEAR(column(10, kHeight / 2)[0], 0.81 * 255, 2);
  // The cursor: grey 0.7 at alpha 0.7, over the whole height by default.
  EXPECT_NEAR(column(177, kHeight / 2)[0], 0.49 * 255, 2);
  EXPECT_NEAR(column(177, kHeight - 2)[0], 0.49 * 255, 2);
  EXPECT_EQ(column(178, kHeight / 2)[0], 0);

  writer->handleEvent(event(TypeWriter::kCursorStart, {0.75f, 0, 0}));
  writer->handleEvent(event(TypeWriter::kCursorEnd, {0.25f, 0, 0}));
  framesAt({1010});
  EXPECT_NEAR(column(177, kHeight / 2)[0], 0.49 * 255, 2);
  EXPECT_EQ(column(177, kHeight - 10)[0], 0);
  EXPECT_EQ(column(177, 10)[0], 0);

  writer->lendx.value = 0.5f;  // the cursor only while lstartx < edge < lendx
  framesAt({1020});
  EXPECT_EQ(column(177, kHeight / 2)[0], 0);
}

TEST_F(TypeWriterTest, ANewPictureKeepsTheEdge) {
  framesAt(every20ms(1000, 1300));
  ASSERT_FLOAT_EQ(writer->edge, 0.65f);
  writer->addString(0, "data/red.png");
  framesAt({1320});
  EXPECT_FLOAT_EQ(writer->edge, 0.65f);
  EXPECT_EQ(coveredColumns(), 209);  // 0.65 of 322
  const Rgba red = column(10, kHeight / 2);
  EXPECT_EQ(red[1], 0);
  writer->handleEvent(event(TypeWriter::kLoadPicture, {}, "data/white.png"));
  framesAt({1340});
  EXPECT_GT(column(10, kHeight / 2)[1], 150);
  EXPECT_FLOAT_EQ(writer->edge, 0.65f);
}

TEST_F(TypeWriterTest, EventsPlaceScaleAndStepTheText) {
  writer->lendx.value = 0;  // no cursor in the way
  struct Case {
    int32_t code;
    std::array<float, 3> params;
    int first, last;  // covered columns of the middle row
  };
  const Case cases[] = {
      {TypeWriter::kPosition, {0.25f, 0, 0}, 80, 257},   // 0.25..0.8
      {TypeWriter::kScale, {0.5f, 1, 1}, 80, 168},       // about the centre: 0.25..0.525
      {TypeWriter::kRotation, {0, 0, 180}, 145, 321},    // turned about the centre: 0.45..1
  };
  for (const Case& c : cases) {
    writer->handleEvent(event(0, {}, "", 1000));
    writer->handleEvent(event(c.code, c.params));
    framesAt({1000});
    int first = -1, last = -1;
    for (int x = 0; x < kWidth; ++x)
      if (column(x, kHeight / 2)[0] > 150) {
        if (first < 0) first = x;
        last = x;
      }
    EXPECT_EQ(first, c.first) << c.code;
    EXPECT_EQ(last, c.last) << c.code;
  }

  writer->handleEvent(event(0, {}, "", 1000));
  writer->handleEvent(event(TypeWriter::kStep, {0.2f, 0, 0}));
  framesAt({1140});
  EXPECT_FLOAT_EQ(writer->edge, 0.75f);
}

// [SECTION] ViewFPS

class ViewFpsTest : public TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    // A capture at 25 fps: the clock follows the frames.
    demoClock.setCounter(&frames);
    add<MeshStandIn>("meshes", "MeshStandIn");
    add<MeshStandIn>("resting", "MeshStandIn", false);
    fps = &add<ViewFPS>("fps", "ViewFPS");
    fps->handleEvent(event(0));
  }
  void captureFrame(uint32_t t) {
    glClearColor(0, 0, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    renderFrame(t);
    frames.advance(1);
  }
  ManualCounter frames{25};
  ViewFPS* fps = nullptr;
};

TEST_F(ViewFpsTest, WithTheOverlayOffNothingIsDrawnButTheCounterCounts) {
  captureFrame(0);
  const std::vector<uint8_t> before = context->pixels();
  captureFrame(40);
  EXPECT_EQ(context->pixels(), before);
  EXPECT_EQ(frameRateCounter.framesInBatch(), 2);
}

TEST_F(ViewFpsTest, WithTheOverlayOnACaptureShowsItsRateStatisticsTimelineAndLamps) {
  partTimes = {5100};
  statsOverlay = true;  // F2
  captureFrame(2560);
  EXPECT_EQ(fps->getShownFps(), 0);  // no interval yet: no bar
  captureFrame(2600);
  EXPECT_FLOAT_EQ(fps->getShownFps(), 25);

  // Pixel columns and rows from the layout in the unit square (322 × 240, y up).
  const Rgba white{255, 255, 255, 255}, background{0, 0, 128, 255};
  // The rate bar at x 0.98 (column 315): 25 fps is a quarter of the height, 60 rows.
  EXPECT_EQ(column(315, 10), white);
  EXPECT_EQ(column(315, 58), white);
  EXPECT_EQ(column(315, 62), background);
  // Its marks from x 0.97 to 0.99 at 0.25 and 0.75 (grey 0.6) and 0.5 (grey 0.8).
  auto markAt = [](int row) { return std::max(column(313, row - 1)[0], column(313, row)[0]); };
  EXPECT_EQ(markAt(180), 153);
  EXPECT_EQ(markAt(120), 204);
  EXPECT_EQ(column(313, 100), background);
  // The statistics: a sum of 60000 reaches 0.6 (144 rows) at x 0.96, 300 draws 0.3 at 0.94.
  EXPECT_EQ(column(309, 140), white);
  EXPECT_EQ(column(309, 150), background);
  EXPECT_EQ(column(302, 68), white);
  EXPECT_EQ(column(302, 80), background);
  // The timeline at y 0.02 (row 4), the play position at 2600 / 10000 (column 83, from
  // y 0.01 to 0.03), the part at 5100 as a point of three pixels (columns 163-165).
  EXPECT_EQ(column(100, 4), white);
  EXPECT_EQ(column(100, 6), background);
  EXPECT_EQ(column(83, 6), white);
  EXPECT_EQ(column(83, 8), background);
  EXPECT_EQ(column(164, 5), white);
  EXPECT_EQ(column(164, 7), background);
  EXPECT_EQ(column(167, 5), background);
  // One lamp per effect at y 0.96 (rows 229-231), spread from 0.1 in steps of 0.8 / 3.
  EXPECT_EQ(column(32, 230), (Rgba{0, 255, 0, 255}));    // meshes: on
  EXPECT_EQ(column(118, 230), (Rgba{255, 0, 0, 255}));   // resting: off
  EXPECT_EQ(column(204, 230), (Rgba{0, 255, 0, 255}));   // fps: on
  EXPECT_EQ(column(75, 230), background);
  EXPECT_EQ(column(160, 120), background);

  // What the next effect relies on is back.
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 1.0f);

  renderFrame(2640);
  renderFrame(2640);  // two drawings in one tick of the clock: the top of the scale
  EXPECT_FLOAT_EQ(fps->getShownFps(), 100);
}

// The variables colour the timeline only: the bar, its marks, the statistics and the lamps
// are drawn in their own colours, opaque, whatever the variables say.
TEST_F(ViewFpsTest, TheVariablesColourOnlyTheTimeline) {
  fps->Red.value = 0.2f;
  fps->Green.value = 0.4f;
  fps->Blue.value = 0;
  fps->Alpha.value = 0.5f;
  statsOverlay = true;
  captureFrame(2560);
  captureFrame(2600);
  const Rgba white{255, 255, 255, 255};
  EXPECT_EQ(column(315, 10), white);  // the rate bar
  EXPECT_EQ(column(309, 140), white);  // the sum of the counts
  EXPECT_EQ(column(302, 68), white);   // the number of draws
  auto markAt = [](int row) { return std::max(column(313, row - 1), column(313, row)); };
  EXPECT_EQ(markAt(180), (Rgba{153, 153, 153, 255}));
  EXPECT_EQ(markAt(120), (Rgba{204, 204, 204, 255}));
  EXPECT_EQ(column(32, 230), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(column(118, 230), (Rgba{255, 0, 0, 255}));
  // The timeline at half alpha over the blue: (0.2, 0.4, 0) / 2 + (0, 0, 0.5) / 2.
  const Rgba timeline = column(100, 4);
  EXPECT_NEAR(timeline[0], 25.5, 1);
  EXPECT_NEAR(timeline[1], 51, 1);
  EXPECT_NEAR(timeline[2], 64, 1);
}

}  // namespace
