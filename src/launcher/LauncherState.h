#pragma once
// Process-wide launcher state: the viewer's choices, the playback controls the keys drive,
// and the GL limits found at start-up. Everything runs on the main thread.

#include "base/Display.h"  // screen size, GL limits and the overlay switch

extern bool musicEnabled;
extern bool fullscreenRequested;
extern bool quitRequested;
extern bool inputEnabled;   // keys are handled only after the first script load
extern bool reloadRequested;
extern bool paused;
extern bool shiftHeld;
extern bool timelineShown;  // F3 in --dev: the timeline view
extern float seekStep;      // milliseconds of one arrow-key seek; grows while a key is held
