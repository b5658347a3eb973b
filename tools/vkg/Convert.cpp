// vkg convert: the model converter's scene written to disk with its pictures.

#include <cmath>
#include <filesystem>

#include "Vkg.h"
#include "sceneFile/VKGFile.h"

namespace {

std::string vec(glm::vec3 v) {
  char text[96];
  std::snprintf(text, sizeof text, "(%g, %g, %g)", v.x, v.y, v.z);
  return text;
}

}  // namespace

int convertModel(const std::string& input, const std::string& output, const std::string& textureFolder,
                 const modelimport::ConvertOptions& options, std::FILE* out) {
  const std::string folder = textureFolder.empty() ? modelimport::defaultTextureFolder(output) : textureFolder;
  modelimport::ConvertOptions withFolder = options;
  withFolder.pictureFolder = folder;
  modelimport::ConvertedModel model;
  if (!modelimport::convertModel(input, withFolder, model)) return 1;
  std::error_code error;
  if (const std::filesystem::path folder = std::filesystem::path(output).parent_path(); !folder.empty())
    std::filesystem::create_directories(folder, error);
  if (!vkg::saveSceneFile(model.scene, output)) {
    std::fprintf(stderr, "vkg: %s: cannot be written\n", output.c_str());
    return 1;
  }
  if (!modelimport::writePictures(model.pictures, folder, options)) return 1;

  const glm::vec3 size = model.box.size();
  if (model.box.empty())
    std::fprintf(out, "the model holds nothing the engine can draw (no triangles)\n");
  else if (options.fit > 0.0f)
    std::fprintf(out, "scaled by %g: the model is %g x %g x %g units (x, y, z) around %s\n", model.scale, size.x, size.y,
                 size.z, vec(model.box.centre()).c_str());
  else
    std::fprintf(out, "the model is %g x %g x %g units (x, y, z) around %s%s\n", size.x, size.y, size.z,
                 vec(model.box.centre()).c_str(), model.scale != 1.0f ? " (scaled)" : "; --fit SIZE scales it");
  if (!model.pictures.empty())
    std::fprintf(out, "%zu picture%s written to %s\n", model.pictures.size(), model.pictures.size() == 1 ? "" : "s",
                 folder.c_str());
  if (!model.shadowLightName.empty())
    std::fprintf(out, "shadow light \"%s\": a script makes it the scene's shadow light with event 56\n",
                 model.shadowLightName.c_str());
  return 0;
}
