#pragma once
// Per-frame values that several layers share: the draw statistics the mesh code adds to
// and the overlay shows, and the music level that the spectrum effect publishes and mesh
// drawing scales with. They live here, low in the layers, so the engine can read them
// without knowing about the timeline or the effects.

#include <cstdint>

// Draw-call statistics of one frame: the timeline resets them, mesh drawing adds to them.
struct RenderStats {
  static uint32_t count;
  static uint32_t sum;
  static void add(uint32_t n) {
    count += 1;
    sum += n;
  }
  static void reset() { count = sum = 0; }
};

// The music level: 1.0 until a spectrum effect runs, then the level it measured last.
extern float spectrumLevel;
