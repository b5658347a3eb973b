#pragma once
// "Ombra", the sample demo's soundtrack: 125 beats per minute in A minor, ninety-two bars in
// eight sections that the demo script's parts follow bar for bar.

#include "Dsp.h"

namespace song {

constexpr int kBeatMs = 480;                             // 125 BPM; the script's DEMO_BEAT
constexpr size_t kBeatFrames = 21168;                    // 0.48 s at 44.1 kHz, exact
constexpr size_t kStepFrames = kBeatFrames / 4;          // one sixteenth
constexpr size_t kBarFrames = kBeatFrames * 4;
constexpr int kBars = 92;
constexpr size_t kTailFrames = 123480;                   // 2.8 s for the last chord to ring
constexpr size_t kTotalFrames = kBars * kBarFrames + kTailFrames;  // 179.44 s

// First bar of each section; the script's parts start at bar × 1920 ms.
constexpr int kIntroBar = 0, kBuildBar = 8, kDropBar = 16, kBreakBar = 32, kFinaleBar = 40,
              kScenesBar = 56, kSwarmBar = 72, kOutroBar = 88;

// The whole song, mixed, limited below -1 dBFS.
Stereo render();

}  // namespace song
