// The timeline view of --dev as a demo maker sees it: captured headless with --timeline, the
// part bands, the bars and the play line at the pixels worked out from the panel's geometry;
// a synthetic click on the axis seeking the paused demo to the time under it.
//
// The window is 568 × 300 and the demo 10 s long, so the axis runs from x 160 to 560 at
// 25 ms a pixel. Two rows make the panel 20 (axis) + 16 (parts) + 2 × 16 high: it starts at
// y 232, the part bands fill y 253–266, the rows y 268–283 and 284–299, their bars 3 pixels
// in from top and bottom. The beat grid (500 ms: every 20th pixel from x 160) is not probed.

#include "launcher/TimelineView.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "launcher/LauncherState.h"
#include "launcher/VelkorLauncher.h"
#include "platform/Events.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace {

const char* kScript =
    "DEMO_END 10000\nDEMO_BEAT 500\nDEFINE_DEMO_PART 0\nDEFINE_DEMO_PART 4000\n"
    "INSERT_EFFECT Clear AS bg\nINSERT_EFFECT Clear AS flash\n__TIMELINE__\n"
    "0 b bg\n0 s bg Red 0.2\n0 s flash Red 1\n2000 b flash\n6000 e flash\n";

std::array<int, 3> rgb(const float (&c)[4]) {
  return {int(c[0] * 255 + 0.5f), int(c[1] * 255 + 0.5f), int(c[2] * 255 + 0.5f)};
}
std::array<int, 3> pixel(const RgbImage& image, int x, int y) {
  const uint8_t* p = image.at(x, y);
  return {p[0], p[1], p[2]};
}

TEST(TimelineView, CaptureShowsPartsBarsAndPlayLineWhereTheTimesFallAndLeavesTheDemoAboveUnchanged) {
  TempDir tree("de_timeline");
  tree.write("data/scripts/demo_kx06.script", kScript);
  const std::string common = "--dev . --headless --no-music --resolution 568x300 --fps 10 --start 5000 --end 5000 ";
  const ProgramRun with = runProgram(tree.path(), common + "--timeline --capture with");
  const ProgramRun without = runProgram(tree.path(), common + "--capture without");
  ASSERT_EQ(with.exitCode, 0) << with.output();
  ASSERT_EQ(without.exitCode, 0) << without.output();
  const RgbImage view = readPng(tree.path() / "with" / frameName(0));
  const RgbImage plain = readPng(tree.path() / "without" / frameName(0));
  ASSERT_TRUE(view.ok && plain.ok);

  using V = TimelineView;
  EXPECT_EQ(pixel(view, 300, 260), rgb(V::kPartColours[0]));  // part 1: 0–4 s, x 160–319
  EXPECT_EQ(pixel(view, 319, 260), rgb(V::kPartColours[0]));
  EXPECT_EQ(pixel(view, 321, 260), rgb(V::kPartColours[1]));  // part 2: 4 s to the end, x 320–559
  EXPECT_EQ(pixel(view, 500, 260), rgb(V::kPartColours[1]));
  EXPECT_EQ(pixel(view, 205, 276), rgb(V::kBarColour));       // bg: on all along
  EXPECT_EQ(pixel(view, 555, 276), rgb(V::kBarColour));
  EXPECT_NE(pixel(view, 205, 269), rgb(V::kBarColour));       // the inset above the bar
  EXPECT_NE(pixel(view, 239, 292), rgb(V::kBarColour));       // flash: 2–6 s, x 240–399
  EXPECT_EQ(pixel(view, 241, 292), rgb(V::kBarColour));
  EXPECT_EQ(pixel(view, 399, 292), rgb(V::kBarColour));
  EXPECT_NE(pixel(view, 401, 292), rgb(V::kBarColour));
  for (int y : {233, 260, 276, 298}) {                        // 5 s: x 360, the line on 359 and 360
    EXPECT_EQ(pixel(view, 359, y), rgb(V::kPlayLineColour)) << y;
    EXPECT_EQ(pixel(view, 360, y), rgb(V::kPlayLineColour)) << y;
    EXPECT_NE(pixel(view, 361, y), rgb(V::kPlayLineColour)) << y;
  }
  for (int y = 0; y < 232; y += 7)
    for (int x = 0; x < 568; x += 13) ASSERT_EQ(pixel(view, x, y), pixel(plain, x, y)) << x << "," << y;
}

TEST(TimelineView, AClickOnTheAxisSeeksThePausedDemoToTheTimeUnderIt) {
  TempDir tree("de_timeline_click");
  tree.write("data/scripts/demo_kx06.script", kScript);
  quitRequested = reloadRequested = paused = shiftHeld = inputEnabled = false;
  std::atomic<bool> done{false};
  std::thread viewer([&] {
    while (!inputEnabled && !done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    platform::postKey(platform::Key::F1, true);       // pause
    platform::postPointerButton(460, 240, true);      // x 460 on the axis: (460 − 160) × 25 ms
    platform::postPointerButton(460, 240, false);
    platform::postKey(platform::Key::Escape, true);
  });
  const std::string dir = tree.str();
  const char* argv[] = {"demoengine", "--dev", dir.c_str(), "--headless", "--no-music", "--resolution", "568x300", "--timeline"};
  const auto previous = std::filesystem::current_path();
  const int code = launcherMain(static_cast<int>(std::size(argv)), argv);
  done = true;
  viewer.join();
  std::filesystem::current_path(previous);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(paused);
  EXPECT_EQ(demoClock.now(), 7500u);
  paused = false;
  timelineShown = false;
}

TEST(TimelineView, TheWheelZoomsAboutThePointerThePartsScrollAndARowClickSelects) {
  GlTestContext gl(568, 300);
  ASSERT_TRUE(gl.ok());
  EffectList effects;
  EventList events;
  ScriptLoader loader;
  loader.loadText(kScript, effects, events);
  const TimelineScene scene{effects.effects(), loader.inserts(), loader.activeSwitches(), partTimes, playbackEndTime,
                            patternStepLength};
  TimelineView view;
  std::vector<uint32_t> seeks;
  const auto at = [&](int x, int y, bool down, float wheel = 0) {
    platform::PointerState p;
    p.x = x, p.y = y, p.leftDown = down, p.wheelY = wheel;
    view.draw(568, 300, 0, scene, p, [&](uint32_t t) { seeks.push_back(t); });
  };
  at(360, 240, false, 1);  // one notch at 5 s: the span 10 s × 0.8, 5 s stays under x 360
  EXPECT_NEAR(view.viewSpan(), 8000, 1e-6);
  EXPECT_NEAR(view.viewStart(), 1000, 1e-6);
  at(460, 240, true);      // 20 ms a pixel now: 1 s + 300 × 20 ms
  at(460, 240, false);
  at(300, 260, true);      // a drag of 50 pixels to the left on the parts: 1 s later
  at(250, 260, true);
  at(250, 260, false);
  at(100, 290, true);      // the second row's name
  at(100, 290, false);
  EXPECT_EQ(seeks, std::vector<uint32_t>{7000});
  EXPECT_NEAR(view.viewStart(), 2000, 1e-6);
  EXPECT_EQ(view.selected(), "flash");
  effects.clear();
}

}  // namespace

namespace {

// The panel kept in a texture is the panel drawn afresh, pixel for pixel, through a play line
// that moves, a selection that brings curves, a hovered bar and a zoom; the texture is drawn
// again only for the selection and the zoom (and the first frame).
TEST(TimelineView, TheKeptPanelIsTheFreshOneAndIsDrawnAgainOnlyWhenWhatItShowsChanges) {
  GlTestContext gl(568, 300);
  ASSERT_TRUE(gl.ok());
  EffectList effects;
  EventList events;
  ScriptLoader loader;
  loader.loadText(std::string(kScript) + "3000 s flash Red 0.4\n5000 s flash Red 0.8\n", effects, events);
  const TimelineScene scene{effects.effects(), loader.inserts(), loader.activeSwitches(), partTimes, playbackEndTime,
                            patternStepLength};
  TimelineView kept, fresh;
  fresh.setCached(false);
  struct Step {
    uint32_t now;
    int x, y;
    bool down;
    float wheel;
    uint64_t draws;  // of the kept view's texture so far
  };
  const Step steps[] = {
      {1000, 0, 0, false, 0, 1},     // the first frame
      {5000, 0, 0, false, 0, 1},     // only the play line moved
      {5000, 100, 290, true, 0, 2},  // the second row selected: its curve lane, the panel higher
      {5000, 100, 290, false, 0, 2},
      {6000, 300, 260, false, 0, 2},  // over the curve, then over bg's bar: a tooltip
      {6000, 205, 233, false, 0, 2},
      {6000, 360, 230, false, 1, 3},  // a notch of zoom
      {7000, 360, 230, false, 0, 3},
  };
  for (const Step& s : steps) {
    platform::PointerState p;
    p.x = s.x, p.y = s.y, p.leftDown = s.down, p.wheelY = s.wheel;
    std::vector<uint8_t> pictures[2];
    for (TimelineView* view : {&kept, &fresh}) {
      glClearColor(0.3f, 0.1f, 0.2f, 1);  // the demo beneath
      glClear(GL_COLOR_BUFFER_BIT);
      view->draw(568, 300, s.now, scene, p, [](uint32_t) {});
      pictures[view == &fresh] = gl.pixels();
    }
    EXPECT_TRUE(pictures[0] == pictures[1]) << "at " << s.now << " ms, pointer " << s.x << "," << s.y;
    EXPECT_EQ(kept.staticDraws(), s.draws) << s.now << " ms, pointer " << s.x << "," << s.y;
  }
  EXPECT_EQ(kept.selected(), "flash");
  effects.clear();
}

}  // namespace
