#pragma once
// The programs every scene loads (the depth-information, light-distance and shadow-map
// passes) built into the program, so that a scene plays even where the demo's data holds no
// shader files of its own (a model looked at with --view, a demo that never changed them).
// They are the sample demo's own files (demo/data/shaders), copied in when the program is
// built. A shader file in the demo's data always comes first.

#include <string>

// The built-in source of `fileName` ("data/shaders/vp_depth_info.cg"), or null when the
// program carries none of that name.
const char* defaultShaderSource(const std::string& fileName);
