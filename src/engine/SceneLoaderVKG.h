#pragma once
// Scene files (.vkg) read into Scenes, and the process-wide cache that shares one Scene
// among every effect that names the same file.
//
// A loaded scene lives in the cache until the process ends; it is never destroyed during a
// run (effects hold it by pointer) and never after the GL context is gone. Only the authoring
// reload takes scenes out, handing them to the caller, which decides when they go.

#include <memory>
#include <string>
#include <vector>

#include "base/NamedCache.h"

class Scene;
class Texture;

class SceneManager {
 public:
  // The one manager, created on first use and never destroyed.
  static SceneManager& instance();

  // The scene cached under the file name (its use count + 1), or null.
  Scene* findScene(const std::string& fileName);
  // 0 when cached (or already cached with this scene: use count + 1); 1 for a null scene or
  // a name that holds another scene (the caller keeps its scene).
  int addScene(const std::string& fileName, Scene* scene);
  int useCount(const std::string& fileName) const { return scenes.useCount(fileName); }
  size_t size() const { return scenes.size(); }

  // Authoring: takes out every scene read from one of `changedFiles` (compared as data file
  // names) or whose materials or lights hold one of `releasedTextures`, and hands them over.
  std::vector<std::unique_ptr<Scene>> releaseScenes(const std::vector<std::string>& changedFiles,
                                                    const std::vector<const Texture*>& releasedTextures);

 private:
  SceneManager() = default;
  NamedCache<Scene> scenes;
};

namespace SceneLoaderVKG {

// A camera record's angle (radians across a 4:3 picture, as the file keeps it) as the vertical
// angle in degrees that the loaded camera gets.
float verticalFovDegrees(float fileFov);

// The cached scene of that file, else the file read through the data archive, built, cached
// and returned. Null for a missing file, a version other than 1 or a malformed file (no
// report here: the caller names the file). An unknown chunk tag, a map file name without an
// extension and an opacity map stop the demo (fatal assertions). The folders are kept for
// the texture lookups of this load.
Scene* load(const std::string& fileName, const std::string& compressedTextureFolder,
            const std::string& textureFolder);

// Why the last load of this thread gave null ("" after a success): "file not found", the
// version, or what is malformed at which byte.
const std::string& lastFailure();

// A scene texture by the name an exporter wrote: the folders of the name dropped, then
// <stem>.dds in the compressed-texture folder, else the name in the texture folder. Null
// for an empty name or a picture that is in neither; a name without '.' is a fatal assertion.
Texture* loadSceneTexture(const std::string& name);

}  // namespace SceneLoaderVKG
