#pragma once
// What every scene shares for its shadow and depth passes: the shadow-map target
// "sceneshadow", the depth-information target "scenedepth", the cube-map target "jalla"
// whose cube texture "scenecubemap" holds the light distances of the omnidirectional
// shadow, and the seven programs of the passes (data/shaders/*.cg). One per process,
// initialised by the first scene; nothing is released before exit.
//
// The passes themselves are Scene operations (Scene.h, written in Scene.cpp), which use
// what is shared here; nothing here knows a scene.
//
// What the programs compute (their texts are data files):
//   depth information: red = eye distance / far plane, green = blur amount (the distance
//     from the focal point over the near or far focus range, clamped to focalClamp).
//   light distance: the distance from the light over the far plane, packed into RGBA8.
//   shadow apply (spot and omni): colour (0, 0, 0, a) blended with (ONE, SRC_ALPHA), so a
//     shadowed pixel keeps the fraction kShadowKeeps of its colour and a lit one all of it.
//     The spot shadow's apply pass draws only the receivers that could not take the same
//     darkening while they were lit (LitPassShadow.h), and is left out when there are none.
//
// The spot shadow map leaves out meshes whose bounding box lies wholly outside the light's
// frustum: they would put nothing into it.

#include "resources/RenderTarget.h"

class Texture;
class VertexProgram;
class FragmentProgram;

class SceneRenderer {
 public:
  static constexpr int kDepthSize = 1024;
  static constexpr int kCubeSize = 512;
  // The part of a shadowed pixel's colour the apply passes keep.
  static constexpr float kShadowKeeps = 0.5f;

  static SceneRenderer& instance();

  // Creates what does not exist yet; called by every scene.
  void init(int depthSize, int cubeSize);
  int getDepthSize() const { return depthSize; }
  int getCubeSize() const { return cubeSize; }

  // The cube-map target: bind() makes it the drawing destination (unbind() returns to the
  // render target below it, or the window); attachFace(i) draws into face i (+X, −X, +Y,
  // −Y, +Z, −Z) from then on.
  void bindCubeTarget() const;
  void unbindCubeTarget() const;
  void attachCubeFace(int face) const;

  // The program that depth-only mesh draws feed (ModelViewProj, ObjectPosWorldSpace);
  // null outside the depth-information and omni passes.
  VertexProgram* currentVertexProgram = nullptr;
  RenderTarget shadowTarget;  // "sceneshadow": depth texture prepared for comparison
  RenderTarget depthTarget;   // "scenedepth": colour = the depth information
  VertexProgram* depthInfoVP = nullptr;
  FragmentProgram* depthInfoFP = nullptr;
  VertexProgram* lightDistanceVP = nullptr;
  FragmentProgram* lightDistanceFP = nullptr;
  FragmentProgram* shadowMapFP = nullptr;
  VertexProgram* omniShadowVP = nullptr;
  FragmentProgram* omniShadowFP = nullptr;
  Texture* cubeMap = nullptr;  // "scenecubemap"

 private:
  SceneRenderer() = default;

  int depthSize = kDepthSize;
  int cubeSize = kCubeSize;
  GLuint cubeFramebuffer = 0;  // "jalla"
  GLuint cubeDepthBuffer = 0;
};
