#pragma once
// The scene effect: plays a .vkg scene on the timeline. Its variables drive the camera, the
// focus values of the depth pass, fog, lighting switches and shadows; its events select
// objects and lights, switch programs, shadows and cube maps. The types "Scene" and
// "OmniShadowTest" are this effect unchanged; scene-based parts derive from it, extend
// loadScene (call it, then attach their own objects, looked up by name first so that a
// second load of a cached scene adds nothing) and override start or render.
//
// Per frame: update advances the scene clock by the demo time since the previous update ×
// the speed factor (backwards too, after a seek back) and applies the variables; render
// sets the scene's time to timeOffset + clock, animates, transforms and draws it.

#include <array>
#include <string>

#include "base/Math.h"
#include "demoSystem/Effect.h"

class Scene;
class SceneObject;
class Light;
class RenderTarget;
class KeyedValueSource;

class Effect3D : public Effect {
 public:
  // Event codes beyond the base ones.
  static constexpr int32_t kFlicker = 1;
  static constexpr int32_t kSelectObject = 6;
  static constexpr int32_t kUserVector = 11;
  static constexpr int32_t kChildrenInherit = 16;
  static constexpr int32_t kCameraByName = 18;
  static constexpr int32_t kVisible = 20;
  static constexpr int32_t kShadows = 21;
  static constexpr int32_t kCameraFov = 25;
  static constexpr int32_t kSelectLight = 33;
  static constexpr int32_t kLightEnabled = 34;
  static constexpr int32_t kAllVertexProgram = 35;
  static constexpr int32_t kAllFragmentProgram = 36;
  static constexpr int32_t kObjectVertexProgram = 37;
  static constexpr int32_t kObjectFragmentProgram = 38;
  static constexpr int32_t kDepthPass = 42;
  static constexpr int32_t kCastShadows = 43;
  static constexpr int32_t kCubeFace0 = 47;  // … 52: the six faces +X, −X, +Y, −Y, +Z, −Z
  static constexpr int32_t kCubeMap = 53;
  static constexpr int32_t kObjectNoCubeMap = 54;
  static constexpr int32_t kFragmentFactorKey = 55;
  static constexpr int32_t kShadowLight = 56;
  static constexpr int32_t kSourceOnObject = 57;
  static constexpr int32_t kVertexFactorKey = 59;

  explicit Effect3D(const std::string& name);

  void start(uint32_t time) override;
  void prepare(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;
  // A flickering light draws the process-wide random sequence each time the scene is drawn.
  DrawingMemory drawingMemory() const override;
  void onStringAdded(int32_t table, const std::string& text, int32_t count) override;
  // Makes the scene of `fileName` (loaded or from the cache) this effect's scene. False for
  // an empty name, the scene already held, or a file that does not load ("could not load
  // scene", not fatal); a scene without a camera is the fatal "no camera in scene".
  virtual bool loadScene(const std::string& fileName);

  Scene* getScene() const { return scene; }
  float getSceneClock() const { return sceneClock; }
  SceneObject* getSelectedObject() const { return selectedObject; }
  const glm::vec3& getUserVector() const { return userVector; }
  bool isCameraFromEvents() const { return cameraFromEvents; }

  // The 256 × 256 target every scene effect renders its source effect into.
  static RenderTarget& sharedTarget();
  // The timeline's float variables, for the keyed factors of the meshes (events 55 and
  // 59): every scene this effect loads is given this source.
  static KeyedValueSource& factorVariables();

  BoolVariable Loop;
  BoolVariable Shadows;
  IntVariable Camera;
  FloatVariable FOV;
  FloatVariable FocalPoint, FocalNear, FocalFar, FocalClamp;
  BoolVariable Fog;
  IntVariable FogMode;
  FloatVariable FogR, FogG, FogB;
  FloatVariable FogDensity, FogScale, FogStart, FogEnd;
  IntVariable Datafile;
  BoolVariable LightingOn, LightingOff, MoreLight;

 protected:
  SceneObject* selectedObject = nullptr;
  bool depthPassOn = false;
  float sceneClock = 0;
  Scene* scene = nullptr;
  int lastDatafileIndex = -1;
  std::string sceneFileName;
  glm::vec3 userVector{0.0f};
  bool cameraFromEvents = false;
  Light* selectedLight = nullptr;
  std::array<std::string, 6> cubeFaceNames;

 private:
  void applyVariables(uint32_t time);
};
