#pragma once
// What every layer may know about the display: the demo window's client size (also every
// frame's viewport), the FSAA mode in use, the GL limits read at start-up and the
// statistics-overlay switch. Plain values, set by the window and the launcher, read by
// anyone; no platform types.

struct GlCaps {
  int maxTextureUnits = 0;
  int maxTextureSize = 0;
  int maxVertexProgramInstructions = 0;
  int maxFragmentProgramInstructions = 0;
};

extern int screenWidth;
extern int screenHeight;
extern int fsaaMode;        // 0 (off) or the sample count of the demo window's context
extern bool statsOverlay;   // F2: the statistics overlay
extern GlCaps glCaps;
