#pragma once
// The demo's timeline as the launcher drives it: load the script, render one frame at a
// demo time.
//
//   effectRegistry = &list; eventList = new EventList;   // once, at start-up (launcher)
//   loadScript("data/scripts/demo_kx06.script");                   // at start and on reload
//   renderFrame(clock.time());                                     // every frame

#include <cstdint>

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
// through the data archive) with the one process-wide script loader.
void loadScript(const char* path);
// That loader: what it holds between loads (the time offset, the held start, end and beat)
// is shared by every load of the process.
ScriptLoader& timelineScriptLoader();

// One frame at demo time t: deliver the due events, update the active effects in list
// order, then render them over the window's viewport. Nothing is cleared here.
void renderFrame(uint32_t t);

