#include "launcher/PlayMode.h"

#include <optional>

#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/CaptureMode.h"
#include "launcher/DemoStartup.h"
#include "launcher/FrameLoop.h"
#include "launcher/LauncherState.h"
#include "launcher/SyncLink.h"

LoopExit playFrames(RunContext& run, std::optional<uint32_t> end) {
  if (CaptureSession* capture = run.capture)
    return runFrames(run.window, [capture](uint32_t t) { capture->renderFrame(t); },
                     [&run, capture](uint32_t) { capture->afterFrame(run.width, run.height, &run.exitCode); });
  if (end)
    return runFrames(run.window, [last = *end](uint32_t t) {
      renderFrame(t);
      if (t >= last) quitRequested = true;
    });
  return runFrames(run.window, [](uint32_t t) { renderFrame(t); });
}

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
    // A capture shows what the editor holds from its first frame on, or nothing at all.
    if (firstLoad && capture && activeSyncLink() && !activeSyncLink()->settle()) run.exitCode = 1, quitRequested = true;
    if (firstLoad && capture && !quitRequested && !capture->start(run.width, run.height, &run.exitCode))
      quitRequested = true;
    firstLoad = false;
    inputEnabled = true;

    // Nobody can press Escape on a headless run: it ends after the frame that reached the end.
    std::optional<uint32_t> end;
    if (options.headless || options.endMs) end = options.endMs.value_or(playbackEndTime);
    const LoopExit exit = playFrames(run, end);
    if (exit == LoopExit::Quit) break;
  }
}
