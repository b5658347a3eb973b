#pragma once
// A scene: the tree of objects of one scene file (plain objects, meshes, lights, cameras),
// the materials by id, the animation clock, fog and shadow settings. The loader (or code)
// builds it with the add operations and finishLoading(); then, every frame:
//
//   setDemoTime(t); setTime(sceneTime); animate(); updateTransforms();
//   renderDepthInfo();   // optional, for depth of field
//   render();            // or renderHierarchy() for parts that draw the tree directly
//
// The scene owns every object, light, camera and material added to it.
//
// The render operations leave the GL state as they found it (attributes, matrices, bound
// program pipeline and framebuffer); the depth buffer holds the scene afterwards. The shadow
// and depth passes are in SceneRenderer.cpp with the resources they share.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/KeyedValue.h"
#include "engine/Material.h"
#include "engine/SceneObject.h"

class Scene {
 public:
  // Shadow types.
  static constexpr int kNoShadow = 0;
  static constexpr int kSpotShadow = 1;  // the shadow light has a target: a shadow map
  static constexpr int kOmniShadow = 2;  // no target: a cube map of light distances

  // Makes sure the shared shadow and depth resources exist (SceneRenderer::init).
  Scene();
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // [SECTION] Building

  // Adds an object under the object with id parentId (−1: top level, after the root as its
  // last sibling). A parent id that is not in the scene is reported (not fatal): the object
  // stays outside the tree. A clone brings its copied subtree along. Returns the object.
  template <class T>
  T* addObject(std::unique_ptr<T> object, int parentId) {
    T* added = object.get();
    adoptObject(std::unique_ptr<SceneObject>(std::move(object)), parentId);
    return added;
  }
  // addObject for a parent known by its address: the object becomes the last child of
  // `parent`, or with a null parent the root's last sibling. Clones share their id with
  // every other clone of the same original, so code that builds trees of clones attaches
  // them this way. `parent` must belong to this scene.
  template <class T>
  T* addObjectUnder(std::unique_ptr<T> object, SceneObject* parent) {
    T* added = object.get();
    adoptObjectUnder(std::unique_ptr<SceneObject>(std::move(object)), parent);
    return added;
  }
  // Cameras and lights join the tree only under a parent; top-level ones stay outside it.
  Camera* addCamera(std::unique_ptr<Camera> camera, int parentId);
  // The light's GL index is the number of lights before it; its colours go to GL at once.
  Light* addLight(std::unique_ptr<Light> light, int parentId);
  // Kept under its id; a second material with an id already held is refused (null).
  Material* addMaterial(std::unique_ptr<Material> material);
  // Binds the meshes to their materials and lights, sorts the draw list by material and
  // resolves the camera and light targets.
  void finishLoading();
  void setFrames(int count, int duration) {
    frameCount = count;
    frameDuration = duration;
  }

  // [SECTION] Lookups (null when not found)

  SceneObject* findObject(const std::string& name) const;
  SceneObject* findObjectById(int id) const;
  Camera* findCamera(const std::string& name) const;
  Light* findLight(const std::string& name) const;
  Light* light(int index) const;
  Material* material(int id) const;
  Camera* activeCameraObject() const;
  Light* selectedLightObject() const;
  int cameraCount() const { return static_cast<int>(cameras.size()); }
  int lightCount() const { return static_cast<int>(lights.size()); }
  std::string cameraName(int index) const;
  SceneObject* getRoot() const { return root; }
  const std::vector<SceneObject*>& getDrawList() const { return drawList; }
  const std::map<int, std::unique_ptr<Material>>& getMaterials() const { return materials; }

  // [SECTION] Settings

  void setActiveCamera(int index);  // ignored unless index < camera count
  void setActiveCamera(const std::string& name);
  // The cameras as the file gave them: the first one active, each with the file's field of
  // view. The scene cache hands a scene back so, whatever the last demo did to them.
  void resetCameras();
  void setSelectedLight(int index);
  void setLoop(bool on) { loop = on; }
  void setFog(bool on) { fog = on; }
  void setFogColour(const glm::vec4& colour) { fogColour = colour; }
  void setFogDensity(float density) { fogDensity = density; }
  void setFogRange(float start, float end);
  void setFogMode(GLenum mode) { fogMode = mode; }
  // Whether render() may darken the receivers of a spot shadow as it draws them
  // (LitPassShadow) rather than drawing them again in the apply pass; on by default. The
  // picture is the same within one level either way.
  void setLitPassShadow(bool on) { litPassShadow = on; }
  // Nothing happens with fewer than three texture units; otherwise every object of the
  // tree casts shadows (or stops).
  void setShadows(bool on);
  // The light of that name casts the shadows: a spot shadow map when it has a target, an
  // omnidirectional cube map otherwise. An unknown name is a fatal assertion.
  void setShadowLight(const std::string& name);
  void setForceLighting(bool on);
  void setNoLighting(bool on);
  void setMoreLight(bool on);
  // Every material gets the cube map of the six face pictures; false when they do not load.
  bool setCubeMap(const std::array<std::string, 6>& faceNames);
  void clearCubeMap();
  // The demo time (ms) at which the meshes evaluate their keyed program factors.
  void setDemoTime(uint32_t time) { demoTime = time; }
  uint32_t getDemoTime() const { return demoTime; }
  // Where the meshes make their keyed factors: the timeline's float variables, given by the
  // scene's owner (the engine cannot make them itself). Not owned.
  void setKeyedValueSource(KeyedValueSource* source) { keyedValues = source; }
  KeyedValueSource* getKeyedValueSource() const { return keyedValues; }

  bool isLooping() const { return loop; }
  bool hasFog() const { return fog; }
  bool hasShadows() const { return shadows; }
  int getShadowType() const { return shadowType; }
  Light* getShadowLight() const { return shadowLight; }
  const glm::mat4& getShadowTexMatrix() const { return shadowTexMatrix; }
  int getFrameCount() const { return frameCount; }
  int getFrameDuration() const { return frameDuration; }

  // [SECTION] Per frame

  // Scene time (in the file's time units) to frame and fraction, looping or held at the end.
  void setTime(float t);
  int getFrame() const { return frame; }
  float getFraction() const { return fraction; }
  void animate();
  // World matrices (lights outside the tree first, then the tree); the spot shadow map
  // when a spot shadow is on.
  void updateTransforms();
  // The world matrices alone (updateTransforms without the shadow map).
  void updateWorldMatrices();
  // The main pass: camera, lights, fog, every drawn object, then the shadow apply pass.
  void render();
  // Draws the tree composing transforms on the fly (no world matrices needed); "no
  // objects in scene" (fatal) without a root.
  void renderHierarchy();
  // Normalised depth and blur amount of every pixel into the depth target (SceneRenderer).
  void renderDepthInfo();

  // [SECTION] Shadow passes (SceneRenderer.cpp)

  void spotShadowMapPass();
  void spotShadowTexGen();
  void applySpotShadow();
  void omniShadowPass();
  void applyOmniShadow(Light* light);

 private:
  void adoptObject(std::unique_ptr<SceneObject> object, int parentId);
  void adoptObjectUnder(std::unique_ptr<SceneObject> object, SceneObject* parent);
  void attach(SceneObject* object, int parentId);
  // Lights and cameras added without a parent: the tree's traversals do not reach them.
  bool outsideTree(const SceneObject* object) const;
  void beginPass() const;  // pushes attributes and both matrices
  void endPass() const;
  void setCommonState() const;  // render steps 2–4
  // A visible mesh of the draw list blends what it draws over what is there.
  bool blendsOverReceivers() const;
  void applyCameraAndLights() const;
  void disableFog() const;

  std::vector<Light*> lights;
  SceneObject* root = nullptr;
  std::vector<Camera*> cameras;
  size_t activeCamera = 0;
  size_t selectedLight = 0;
  std::map<int, std::unique_ptr<Material>> materials;
  std::vector<std::unique_ptr<SceneObject>> objects;
  std::vector<SceneObject*> drawList;
  int frameCount = 0;
  int frameDuration = 0;
  int frame = 0;
  float fraction = 0.0f;
  bool loop = false;
  bool fog = false;
  glm::vec4 fogColour{0.5f, 0.5f, 0.5f, 1.0f};
  float fogDensity = 1.0f;
  float fogStart = 0.0f;
  float fogEnd = 1.0f;
  GLenum fogMode = GL_EXP;
  bool shadows = false;
  bool litPassShadow = true;
  glm::mat4 shadowTexMatrix{1.0f};  // bias · light projection · light view
  Light* shadowLight = nullptr;
  int shadowType = kNoShadow;
  uint32_t demoTime = 0;
  KeyedValueSource* keyedValues = nullptr;
};
