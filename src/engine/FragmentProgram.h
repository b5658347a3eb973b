#pragma once
// A fragment program and the handles of the parameters the engine feeds.

#include "engine/ShaderProgram.h"

class FragmentProgram : public ShaderProgram {
 public:
  // Constructs without loading.
  explicit FragmentProgram(const std::string& fileName);

  void load() override;

  // Parameter handles by the engine's names (uniform locations, -1 when not declared).
  // The samplers get their texture units at load (see ShaderManager.h); textureSize is
  // looked up and never set.
  GLint textureSize = -1;
  GLint factors = -1;
  GLint depthPlanes = -1;
  GLint planeDist = -1;
  GLint diffuseMap = -1;
  GLint envMap = -1;
  GLint glossMap = -1;
  GLint lightMap = -1;
};
