#pragma once
// The demo's timeline as the launcher drives it: load the script, render one frame at a
// demo time.
//
//   effectRegistry = &list; eventList = new EventList;   // once, at start-up (launcher)
//   loadScript("data/scripts/demo_kx06.script");                   // at start and on reload
//   renderFrame(clock.time());                                     // every frame

#include <cstdint>
#include <functional>

#include "base/FrameStats.h"           // RenderStats: renderFrame resets them
#include "demoSystem/DemoValues.h"      // the values a load sets and a frame reads
#include "demoSystem/EffectRegistry.h"  // effectRegistry

class EventList;
class ScriptLoader;

// [SECTION] The timeline containers, owned by the launcher

// Handed over by the launcher at start-up and kept for the run (the registry, declared with
// its interface in EffectRegistry.h, is the launcher's effect list); loadScript creates the
// event list when there is none yet, and renderFrame does nothing without a registry.
extern EventList* eventList;

// [SECTION] Load and frame

// Destroys every effect and event, then builds the timeline from the script file (read
// through the data archive) with the one process-wide script loader, and reads the sync
// track files that drive its variables (SyncTracks.h).
void loadScript(const char* path);
// That loader: what it holds between loads (the time offset, the held start, end and beat)
// is shared by every load of the process.
ScriptLoader& timelineScriptLoader();

// One frame at demo time t: deliver the due events, update the active effects in list
// order, then render them over the window's viewport. Nothing is cleared here.
void renderFrame(uint32_t t);

// [SECTION] Catch-up: a late start that shows what a whole run shows

// What a catch-up did: frames replayed, effect drawings among them, wall time.
struct CatchUpCost {
  int64_t frames = 0;
  int64_t drawings = 0;
  double seconds = 0;
};

// Brings a freshly loaded timeline to where a whole run at `fps` frames a second from
// `demoStart` stands just before its frame at `until`: every frame demoStart + k·1000/fps
// before `until` delivers its events and updates every active effect as renderFrame does,
// and draws (into the window's current buffer, unseen) only the active effects whose
// drawing carries something into later frames (Effect::drawingMemory, also through their
// source), from their last start before `until` for SinceStart ones; the frame just before
// `until` is drawn whole, so that the GL state the next frame meets is a whole run's.
// `beforeFrame(t, next)` runs first in each replayed frame (a capture's offline sound).
CatchUpCost catchUpTimeline(uint32_t demoStart, uint32_t until, int fps,
                            const std::function<void(uint32_t, uint32_t)>& beforeFrame = {});

