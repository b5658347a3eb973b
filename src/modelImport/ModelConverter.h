#pragma once
// Models from modelling tools (glTF 2.0, OBJ, FBX, COLLADA, 3DS and whatever else the Open
// Asset Import Library reads) as .vkg scenes that play the way their author sees them:
//
// - every camera of the file with its vertical field of view, position and aim (the engine
//   keeps cameras upright); an orthographic camera becomes a perspective one that frames
//   the same view; a model without a camera gets "Camera01", which sees the whole model
//   (over every frame of its animation) from the front and a little above;
// - every light lights: the engine lights only with lights that have no target, so
//   directional lights become untargeted lights far away along their direction, spot lights
//   stay spots where the engine's spot (which always shines along −z) can draw them and
//   become omni lights where not, and fall-off is matched as the engine's linear fall-off
//   allows; a model without a light that lights gets a white key light beside its first
//   camera;
// - objects are named after their node, else their mesh, else "Mesh1", "Object2", ...;
//   names are unique within the scene (a repeat gets ".2", ".3", ...);
// - every picture the materials use is gathered (see ModelPictures.h) and named in the
//   material records as it is to be written.
//
// What the format or the engine cannot hold, and what was approximated, is said in one line
// each through the note sink (stderr by default).

#include <string>
#include <vector>

#include "modelImport/Framing.h"
#include "modelImport/ModelPictures.h"
#include "sceneFile/VKGFile.h"

namespace modelimport {

struct ConvertOptions {
  int fps = 25;        // animation keys per second (the frame step is 1000 / fps units)
  float scale = 1.0f;  // applied to the whole model when fit is 0
  float fit = 0.0f;    // > 0: the model is scaled so that the largest side of its box is this
  // Also write a targeted light (for the engine's spot shadows) at this light's place,
  // aimed where it aims; "" for none.
  std::string shadowLight;
  // The folder the pictures will be written into, when known: names taken there by other
  // files are not written over (see PictureCollector).
  std::string pictureFolder;
  // Where the lines about approximations go; null: stderr, each line "<prefix>: ...".
  NoteSink note;
  std::string notePrefix = "vkg";
};

struct ConvertedModel {
  vkg::SceneFile scene;
  std::vector<Picture> pictures;
  Box box;             // the model's bounding box over all frames, after scaling
  float scale = 1.0f;  // the scale that was applied
  std::string shadowLightName;  // the targeted light written for --shadow-light, or ""
};

// Reads and converts; false (with the reason as a note) when the model cannot be read or
// the shadow light is not one of the model's lights.
bool convertModel(const std::string& input, const ConvertOptions& options, ConvertedModel& out);

// Writes every picture into `folder` (created when missing), each under a temporary name
// first and then renamed: a link at a picture's name is replaced, never written through.
// False, with the reason as a note, when one cannot be written.
bool writePictures(const std::vector<Picture>& pictures, const std::string& folder, const ConvertOptions& options);

// The folder in which a demo looks for the pictures of the scene file `output`: the tree's
// "data/textures/" when the file is in a "data/scenes/" folder, else the file's own folder.
std::string defaultTextureFolder(const std::string& output);

}  // namespace modelimport
