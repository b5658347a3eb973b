#include "launcher/DevMode.h"

#include <epoxy/gl.h>

#include "base/Display.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/CaptureMode.h"
#include "launcher/DemoStartup.h"
#include "launcher/FrameLoop.h"
#include "launcher/LauncherState.h"
#include "launcher/LiveReload.h"
#include "launcher/SyncLink.h"
#include "launcher/TimelineView.h"

void runDevMode(RunContext& run) {
  const CommandLineOptions& options = run.options;
  CaptureSession* capture = run.capture;
  LiveReload live(kDemoScript, kSoundtrack);
  TimelineView timeline;  // outlives the reloads: zoom, scroll and selection stay
  // Escape and closing the window work while the first load waits for a fix.
  inputEnabled = true;
  bool restart = true;  // the next load that succeeds starts the demo (first load, Space)
  for (;;) {
    const uint32_t was = demoClock.now();
    if (musicEnabled) pauseMusic();
    const bool hadDemo = live.hasDemo();
    const bool loaded = live.reload();
    if (musicEnabled && live.soundtrackChanged()) closeSound();  // opened again from the new file
    if (loaded && (!hadDemo || restart)) {
      const uint32_t start = !hadDemo && options.startMs ? *options.startMs : demoStartTime;
      demoClock.clearSeek();
      demoClock.setBaseOffset(start);
      demoClock.restart();
      musicAt(start);
      if (!hadDemo && capture && activeSyncLink() && !activeSyncLink()->settle())
        run.exitCode = 1, quitRequested = true;
      if (!hadDemo && capture && !quitRequested && !capture->start(run.width, run.height, &run.exitCode))
        quitRequested = true;
    } else if (hadDemo) {
      // The demo goes on at the moment it had, new or not; a capture's clock has not moved.
      if (!capture) {
        demoClock.clearSeek();
        demoClock.setTime(was);
      }
      musicAt(was);
    }

    bool changed = false;
    const uint32_t end = options.endMs.value_or(playbackEndTime);
    auto render = [&](uint32_t t) {
      if (live.hasDemo()) {
        if (capture) capture->renderFrame(t);
        else renderFrame(t);
        // Nobody can press Escape on a headless run: it ends after the frame that reached the end.
        if (!capture && (options.headless || options.endMs) && t >= end) quitRequested = true;
      } else {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        live.waitForChanges(50);  // nothing moves until a file does
      }
      if (timelineShown && live.hasDemo() && effectRegistry) {
        const ScriptLoader& loader = timelineScriptLoader();
        const TimelineScene scene{effectRegistry->effects(), loader.inserts(), loader.activeSwitches(), partTimes,
                                  playbackEndTime, patternStepLength};
        // A capture's clock follows its frames: the axis does not seek it.
        timeline.draw(screenWidth, screenHeight, t, scene, platform::readPointer(),
                      capture ? std::function<void(uint32_t)>([](uint32_t) {}) : seekPlayback);
      }
      live.drawProblems(screenWidth, screenHeight);
      if (live.changesSettled()) {
        changed = true;
        reloadRequested = true;
      }
    };
    auto beforeSwap = [&](uint32_t) {
      if (capture && live.hasDemo() && !quitRequested) capture->afterFrame(run.width, run.height, &run.exitCode);
    };
    if (runFrames(run.window, render, beforeSwap) == LoopExit::Quit) break;
    restart = !changed;  // Space starts the demo again, as it always does
  }
}
