#pragma once
// The two commands of the vkg tool. Both return the process exit code and write their
// complaints to stderr.

#include <cstdio>
#include <string>

#include "modelImport/ModelConverter.h"

// The header, the frame range and every record of FILE as a tree; 1 with the reader's
// reason when the file cannot be played.
int printInfo(const std::string& path, std::FILE* out);

// Reads a model (glTF 2.0, OBJ, FBX, COLLADA, 3DS, and what else the importer reads),
// writes it as a .vkg scene and its pictures into `textureFolder` ("" for the default
// folder of the output), and prints the model's size on `out`. What the scene format cannot
// hold, and what was approximated, is named on stderr.
int convertModel(const std::string& input, const std::string& output, const std::string& textureFolder,
                 const modelimport::ConvertOptions& options, std::FILE* out);
