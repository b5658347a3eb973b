#pragma once
// The demo's timeline as the launcher drives it: load the script, render one frame at a
// demo time, and the demo-wide values the script sets and other modules read.
//
//   effectRegistry = &list; eventList = new EventList;   // once, at start-up (launcher)
//   loadScript("data/scripts/demo_kx06.script");                   // at start and on reload
//   renderFrame(clock.time());                                     // every frame

#include <cstdint>
#include <vector>

#include "base/FrameStats.h"  // RenderStats: renderFrame resets them

class EffectRegistry;
class EventList;
class ScriptLoader;

// [SECTION] Demo-wide values

// DEMO_START of the last load (held across loads that omit it); published after the load.
extern uint32_t demoStartTime;
// DEMO_END, stored as soon as the statement is read: it bounds every keyframe list.
extern uint32_t demoEndTime;
// DEMO_END of the last load (held, 60000 until a script says otherwise); published after
// the load, read by part navigation and the statistics overlay.
extern uint32_t playbackEndTime;
// DEMO_BEAT: milliseconds per beat-pattern character (100 until a script sets it).
extern uint32_t patternStepLength;
// DEFINE_DEMO_PART times, ascending and distinct; never cleared, not even by a reload.
extern std::vector<uint32_t> partTimes;
// The time of the frame being rendered.
extern uint32_t currentDemoTime;


// [SECTION] The timeline containers, owned by the launcher

// Handed over by the launcher at start-up and kept for the run (the registry is the
// launcher's effect list); loadScript creates the event list when there is none yet, and
// renderFrame does nothing without a registry.
extern EffectRegistry* effectRegistry;
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

