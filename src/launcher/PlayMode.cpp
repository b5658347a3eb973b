#include "launcher/PlayMode.h"

#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/CaptureMode.h"
#include "launcher/DemoStartup.h"
#include "launcher/FrameLoop.h"
#include "launcher/LauncherState.h"

void runPlayMode(RunContext& run) {
  const CommandLineOptions& options = run.options;
  CaptureSession* capture = run.capture;
  bool firstLoad = true;
  for (;;) {
    demoClock.clearSeek();
    loadDemo(kDemoScript, firstLoad);
    if (firstLoad && options.startMs) {
      demoClock.setBaseOffset(*options.startMs);
      demoClock.restart();
      if (musicEnabled) setMusicTime(*options.startMs);
    }
    if (firstLoad && capture && !capture->start(run.width, run.height, &run.exitCode)) quitRequested = true;
    firstLoad = false;
    inputEnabled = true;

    LoopExit exit;
    if (capture) {
      exit = runFrames(run.window, [capture](uint32_t t) { capture->renderFrame(t); },
                       [&run, capture](uint32_t) { capture->afterFrame(run.width, run.height, &run.exitCode); });
    } else if (options.headless || options.endMs) {
      // Nobody can press Escape on a headless run: it ends after the frame that reached the
      // end.
      const uint32_t end = options.endMs.value_or(playbackEndTime);
      exit = runFrames(run.window, [end](uint32_t t) {
        renderFrame(t);
        if (t >= end) quitRequested = true;
      });
    } else {
      exit = runFrames(run.window, [](uint32_t t) { renderFrame(t); });
    }
    if (exit == LoopExit::Quit) break;
  }
}
