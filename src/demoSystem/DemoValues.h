#pragma once
// The demo-wide values a script load sets and the rest of the program reads: the demo's
// start, end and beat, its part marks and the time of the frame being drawn. The loader
// writes them (ScriptLoader), the timeline sets the frame's time (Timeline), the effects,
// the variables, the profile and the launcher read them.

#include <cstdint>
#include <vector>

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
