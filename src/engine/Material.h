#pragma once
// How a mesh surface is drawn by the fixed-function pipeline: colours, up to eight texture
// slots, a shade model that picks the texture-unit and combiner set-up, and the blend,
// alpha-test, stencil, culling and texture-matrix state. Materials belong to their scene;
// meshes apply them just before drawing.
//
// apply() pushes every GL attribute group and leaves the material's state in effect; the
// caller ends it with restore(). Meshes go through use() / releaseApplied(), which keep the
// one material in effect across consecutive meshes and switch only when it changes.
//
// Shade models (texture set-up; what must be present for the texture part to be bound):
//   0  colours only                                   —
//   1  diffuse map, unit 0, separate specular         diffuse map
//   2  reflection map alone on unit 0                 reflection map
//   3  as 2                                           reflection map
//   4  diffuse unit 0 + reflection unit 1 (ADD)       both
//   5  diffuse unit 0 + light map unit 1 (MODULATE); with moreLight the light map is
//      added signed on unit 1 and modulated on unit 2  diffuse and light map
//   6  light map alone on unit 0 (MODULATE)           light map
//   7  DOT3: normal map unit 0 (REPLACE), normalisation cube map unit 1 (DOT3_RGB of the
//      texture and the primary colour)                diffuse and normal map
//   8  as 7 + reflection map unit 2 (MODULATE)        reflection and normal map
//   9  ramp texture (1D) on unit 0                    ramp texture
//  10  ramp (1D) unit 0 + diffuse unit 1 (ADD_SIGNED) ramp and diffuse
//  11  cube map on unit 0                             cube map
//  12  cube map unit 0 + reflection map unit 1 (ADD)  cube map (reflection for unit 1)
//  13  the source render target's colour texture on unit 0, separate specular
//                                                     source render target

#include <epoxy/gl.h>

#include <string>

#include "base/Math.h"

class Texture;
class RenderTarget;

class Material {
 public:
  static constexpr int kShadeModelCount = 14;

  Material(int id, const std::string& name);
  ~Material();  // a material in effect is forgotten (its state stays until popped)
  Material(const Material&) = delete;
  Material& operator=(const Material&) = delete;

  // [SECTION] Setters with side effects

  void setAmbient(const glm::vec4& colour) { ambient = colour; }
  void setDiffuse(const glm::vec4& colour) { diffuse = colour; }
  void setSpecular(const glm::vec4& colour) { specular = colour; }
  // shininess = glossiness × 128 (the GL exponent); level scales the specular colour.
  void setShininess(float glossiness, float level);
  // Below 1 the material is transparent (alpha-blended, no depth writes).
  void setOpacity(float value);
  // Added with (ONE, ONE) and no depth test; transparent too.
  void setAdditive(bool on);
  void setTwoSided(bool on) { twoSided = on; }
  void setForceLighting(bool on) { forceLighting = on; }
  void setNoLighting(bool on) { noLighting = on; }
  void setMoreLight(bool on) { moreLight = on; }
  // Any value is stored; apply() stops the demo on one outside 0..13.
  void setShadeModel(int model);

  void setDiffuseMap(Texture* texture) { diffuseMap = texture; }
  void setReflectionMap(Texture* texture) { reflectionMap = texture; }
  void setGlossMap(Texture* texture) { glossMap = texture; }
  void setLightMap(Texture* texture) { lightMap = texture; }
  void setNormalMap(Texture* texture) { normalMap = texture; }
  // An environment cube map (shade model 11, reflection-map texture generation); null
  // removes it. Either way the shade model is chosen again.
  void setCubeMap(Texture* texture);
  // Draws the target's colour texture in place of the diffuse map (shade model 13).
  void setSourceTarget(RenderTarget* target);
  // Opacity maps are not supported: a fatal assertion.
  void setOpacityMap(Texture* texture);
  // Textures nothing in a scene file supplies: the 1D ramp of models 9 and 10 and the
  // normalisation cube map (a GL texture name) of the DOT3 models 7 and 8.
  void setRampTexture(Texture* texture) { rampTexture = texture; }
  void setNormalisationCubeMap(GLuint texture) { normalisationCubeMap = texture; }

  // Derives the shade model and the flags the meshes read from the filled slots; the first
  // rule that matches wins (see Material.cpp).
  void chooseShadeModel();

  // [SECTION] Applying

  // Pushes every attribute group and sets the material's state. Ends with texture unit 0
  // active and the modelview matrix mode.
  void apply();
  // Ends apply(): restores what it pushed.
  void restore();

  // The material in effect for the meshes being drawn, or null.
  static Material* applied();
  // Makes this material the one in effect: nothing when it already is, otherwise the one
  // in effect is restored first and this one applied. True when it was applied now.
  bool use();
  // Restores the material in effect, if any, and forgets it (the end of a pass).
  static void releaseApplied();

  // [SECTION] Getters

  int getId() const { return id; }
  const std::string& getName() const { return name; }
  int getShadeModel() const { return shadeModel; }
  // How many texture units, from unit 0, the shade model's set-up takes (the unlit switch,
  // the texture matrix and reflection-map generation take unit 0); the units above are
  // free for others.
  int textureUnitsUsed() const;
  Texture* getDiffuseMap() const { return diffuseMap; }
  Texture* getReflectionMap() const { return reflectionMap; }
  Texture* getGlossMap() const { return glossMap; }
  Texture* getLightMap() const { return lightMap; }
  Texture* getNormalMap() const { return normalMap; }
  Texture* getCubeMap() const { return cubeMap; }
  Texture* getRampTexture() const { return rampTexture; }
  RenderTarget* getSourceTarget() const { return sourceTarget; }
  GLuint getNormalisationCubeMap() const { return normalisationCubeMap; }
  float getOpacity() const { return opacity; }
  bool isTransparent() const { return transparent; }
  bool isAdditive() const { return additive; }
  bool isTwoSided() const { return twoSided; }
  bool hasMoreLight() const { return moreLight; }
  bool hasForceLighting() const { return forceLighting; }
  bool hasNoLighting() const { return noLighting; }

  bool isLit() const { return lit; }
  bool hasCubeTexGen() const { return cubeTexGen; }
  bool needsReflectionCoordinates() const { return needsReflectionCoords; }
  bool needsLightVectorColours() const { return needsLightVectors; }
  bool usesSecondTextureCoordinates() const { return usesSecondTexCoords; }
  bool usesTextureCoordinates() const { return usesTexCoords; }
  bool usesLightMapCoordinates() const { return usesLightMapCoords; }

  // [SECTION] Plain state, read by apply() and set by the loader and the effects

  bool unlit = false;  // no lighting; diffuse and light map bound on unit 0
  glm::vec4 ambient{0.2f, 0.2f, 0.2f, 1.0f};
  glm::vec4 diffuse{0.8f, 0.8f, 0.8f, 1.0f};
  glm::vec4 specular{0.0f, 0.0f, 0.0f, 1.0f};
  float shininess = 50.0f;  // GL exponent 0..128
  float specularLevel = 0.0f;
  float alphaRef = 0.0f;
  bool alphaTest = false;
  bool stencil = false;
  bool blend = false;  // (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) blending whatever the opacity
  bool wireframe = false;
  GLenum stencilFunc = GL_NOTEQUAL;
  GLint stencilRef = 1;
  GLuint stencilMask = 1;
  GLenum stencilFail = GL_KEEP;
  GLenum stencilZFail = GL_KEEP;
  GLenum stencilZPass = GL_KEEP;
  // Texture matrix of unit 0: translate, rotate about x, y, z (degrees), scale.
  bool textureTransform = false;
  glm::vec3 texRotation{0.0f};
  glm::vec3 texTranslation{0.0f};
  glm::vec3 texScale{1.0f};

 private:
  void setColours() const;
  void setTextureUnits() const;
  void setStateSwitches() const;

  int id;
  std::string name;
  Texture* diffuseMap = nullptr;
  Texture* reflectionMap = nullptr;
  Texture* glossMap = nullptr;
  Texture* lightMap = nullptr;
  Texture* normalMap = nullptr;
  Texture* cubeMap = nullptr;
  Texture* rampTexture = nullptr;
  RenderTarget* sourceTarget = nullptr;
  GLuint normalisationCubeMap = 0;
  int shadeModel = 0;
  float opacity = 1.0f;
  bool twoSided = false;
  bool additive = false;
  bool forceLighting = false;
  bool noLighting = false;
  bool moreLight = false;
  bool transparent = false;

  // Derived by chooseShadeModel (and setCubeMap): what the meshes must supply.
  bool usesTexCoords = false;
  bool usesLightMapCoords = false;
  bool needsReflectionCoords = false;
  bool needsLightVectors = false;
  bool usesSecondTexCoords = false;
  bool lit = false;
  bool cubeTexGen = false;

  bool pushedTextureMatrix = false;  // apply() pushed unit 0's texture matrix
};
