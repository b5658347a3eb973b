#pragma once
// Process-wide launcher state: the viewer's choices, the playback controls the keys drive,
// and the GL limits found at start-up. Everything runs on the main thread.

struct GlCaps {
  int maxTextureUnits = 0;
  int maxTextureSize = 0;
  int maxVertexProgramInstructions = 0;
  int maxFragmentProgramInstructions = 0;
};

extern int screenWidth;   // client size of the demo window, also every frame's viewport
extern int screenHeight;
extern bool musicEnabled;
extern bool fullscreenRequested;
extern bool quitRequested;
extern bool inputEnabled;   // keys are handled only after the first script load
extern bool reloadRequested;
extern bool paused;
extern bool shiftHeld;
extern float seekStep;      // milliseconds of one arrow-key seek; grows while a key is held
extern bool statsOverlay;   // F2: the statistics overlay
extern GlCaps glCaps;
