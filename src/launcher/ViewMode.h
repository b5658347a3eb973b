#pragma once
// --view FILE: one scene file (.vkg) or any model the asset importer reads, played without a
// script of the demo maker's: a timeline of its own clears the screen and plays the scene
// with its animation looping and its first camera. Escape quits, Space starts it again;
// headless or captured, the run ends after one pass through the animation unless --end
// says otherwise.
//
// Where the files come from: a scene file in a demo tree (…/data/scenes/NAME.vkg) plays
// from that tree, which becomes the working directory (its pictures in data/textures/, its
// own shader files first); any other scene file finds its pictures beside it. A model is
// converted in memory as `vkg convert` would convert it; the scene and its pictures reach
// the engine's loaders through a private temporary folder, removed when the program ends.
// Everything else (shader files of the demo's own) is read from the working directory.

#include <cstdint>
#include <string>

#include "launcher/RunMode.h"

struct ViewedScene {
  std::string sceneFile;         // the name the scene loader reads
  std::string compressedFolder;  // where its pictures are looked up, as the loader takes them
  std::string textureFolder;
  std::string workingDirectory;  // "" to stay where the program was started (or --data)
};

// Before any window opens: where the scene and its pictures are, a model converted. False,
// with the reason on stderr, when the file cannot be read or converted.
bool prepareView(const std::string& file, ViewedScene& view);

// The name under which the viewed scene is handed to the timeline's scene effect.
constexpr const char* kViewedSceneName = "view.vkg";

// The timeline of a view: a clear to dark grey, then the scene effect with "Datafile"
// `sceneName`, "Speed" 5 (one scene unit a millisecond) and "Loop" on, both from 0 to
// `end` milliseconds.
std::string viewScript(const std::string& sceneName, uint32_t end);

// The view itself, in the demo window: run.view is what prepareView found.
void runViewMode(RunContext& run);
