#pragma once
// The two commands of the vkg tool. Both return the process exit code and write their
// complaints to stderr.

#include <cstdio>
#include <string>

// The header, the frame range and every record of FILE as a tree; 1 with the reader's
// reason when the file cannot be played.
int printInfo(const std::string& path, std::FILE* out);

struct ConvertOptions {
  int fps = 25;        // animation keys per second (the frame step is 1000 / fps units)
  float scale = 1.0f;  // applied to the whole model
};

// Reads a model (glTF 2.0, OBJ, FBX, COLLADA, 3DS, and what else the importer reads) and
// writes it as a .vkg scene. What the scene format cannot hold is named on stderr.
int convertModel(const std::string& input, const std::string& output, const ConvertOptions& options);
