#pragma once
// A vertex program and the handles of the parameters the engine feeds.

#include "engine/ShaderProgram.h"

class VertexProgram : public ShaderProgram {
 public:
  // Constructs without loading.
  explicit VertexProgram(const std::string& fileName);

  void load() override;

  // The current modelview-projection matrix / the inverse transpose of the modelview.
  void setModelViewProj() const;
  void setModelViewIT() const;

  // Parameter handles by the engine's names (uniform locations, -1 when not declared).
  // Position and Normal are looked up and never set (GLSL reads gl_Vertex / gl_Normal).
  GLint ModelViewProj = -1;
  GLint ModelViewIT = -1;
  GLint Position = -1;
  GLint Normal = -1;
  GLint ObjectPosWorldSpace = -1;
  GLint numLights = -1;
  GLint LightVec0 = -1;
  GLint LightVec1 = -1;
  GLint LightVec2 = -1;
  GLint LightVec3 = -1;
  GLint AmbientMaterial = -1;
  GLint DiffuseMaterial = -1;
  GLint SpecularMaterial = -1;
  GLint factors = -1;
  GLint NearDivFar = -1;
};
