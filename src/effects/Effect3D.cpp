#include "effects/Effect3D.h"

#include <epoxy/gl.h>

#include <cmath>

#include "base/Error.h"
#include "engine/KeyedValue.h"
#include "engine/MeshObject.h"
#include "engine/Scene.h"
#include "engine/SceneLoaderVKG.h"
#include "resources/RenderTarget.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr GLenum kFogModes[] = {GL_EXP, GL_EXP2, GL_LINEAR};

// The object and everything below it.
template <class F>
void forSubtree(SceneObject& object, F&& apply) {
  apply(object);
  for (SceneObject* child = object.getFirstChild(); child; child = child->getNextSibling()) forSubtree(*child, apply);
}

// The event's first three numbers as the first two factor values after the key time; the
// record carries nothing for the last two, which are keyed as 0.
uint32_t factorKeyTime(const TimelineEvent& event) { return truncateToUnsigned(std::trunc(event.params[0])); }

// A mesh's keyed factor as a float variable of the timeline: linear between keys, the
// first key filling the demo up to its end (Variable.h).
class FactorVariable : public KeyedValue {
 public:
  explicit FactorVariable(float constant) { variable.value = constant; }
  void setKey(float value, uint32_t time) override { variable.setKey(value, time); }
  float evaluate(uint32_t time) override { return variable.evaluate(time); }
  std::unique_ptr<KeyedValue> clone() const override { return std::make_unique<FactorVariable>(*this); }

 private:
  FloatVariable variable;
};

class FactorVariables : public KeyedValueSource {
 public:
  std::unique_ptr<KeyedValue> make(float constant) override { return std::make_unique<FactorVariable>(constant); }
};

}  // namespace

RenderTarget& Effect3D::sharedTarget() {
  static RenderTarget target;
  return target;
}

KeyedValueSource& Effect3D::factorVariables() {
  static FactorVariables source;
  return source;
}

Effect3D::Effect3D(const std::string& name) : Effect(name) {
  Camera.choiceCount = 0;  // until a scene gives its cameras
  Camera.stringIndexed = true;
  FOV.value = 0.25f;
  FocalPoint.value = 0.5f;
  FocalNear.value = 0.1f;
  FocalFar.value = 0.8f;
  FocalClamp.value = 1.0f;
  FogMode.choiceCount = 3;
  FogDensity.value = 0.5f;
  FogScale.value = 0.016666668f;
  FogStart.value = 0.2f;
  FogEnd.value = 2.0f;
  Datafile.stringIndexed = true;

  registerVariable(&Loop, "Loop", kNoTable, Variable::kBool, "the scene's animation loops");
  registerVariable(&Shadows, "Shadows", kNoTable, Variable::kBool, "shadows on (applied on change)");
  registerVariable(&Camera, "Camera", 1000, Variable::kInteger, "active camera, by the name given at set-up");
  registerVariable(&FOV, "FOV", kNoTable, Variable::kFloat, "camera field of view = value × 180 degrees");
  registerVariable(&FocalPoint, "FocalPoint", kNoTable, Variable::kFloat, "depth-of-field focal point");
  registerVariable(&FocalNear, "FocalNear", kNoTable, Variable::kFloat, "depth-of-field near limit");
  registerVariable(&FocalFar, "FocalFar", kNoTable, Variable::kFloat, "depth-of-field far limit");
  registerVariable(&FocalClamp, "FocalClamp", kNoTable, Variable::kFloat, "depth-of-field blur clamp");
  registerVariable(&Fog, "Fog", kNoTable, Variable::kBool, "fog on");
  registerVariable(&FogMode, "FogMode", kNoTable, Variable::kInteger, "fog formula: exp, exp², linear");
  registerVariable(&FogR, "FogR", kNoTable, Variable::kFloat, "fog colour, red");
  registerVariable(&FogG, "FogG", kNoTable, Variable::kFloat, "fog colour, green");
  registerVariable(&FogB, "FogB", kNoTable, Variable::kFloat, "fog colour, blue");
  registerVariable(&FogDensity, "FogDensity", kNoTable, Variable::kFloat, "fog density = value × 0.01");
  registerVariable(&FogScale, "FogScale", kNoTable, Variable::kFloat, "distance scale of linear fog");
  registerVariable(&FogStart, "FogStart", kNoTable, Variable::kFloat, "linear fog start = value × FogScale × 30000");
  registerVariable(&FogEnd, "FogEnd", kNoTable, Variable::kFloat, "linear fog end = value × FogScale × 30000");
  registerVariable(&Datafile, "Datafile", 0, Variable::kInteger, "scene file (.vkg), by the name given at set-up");
  registerVariable(&LightingOn, "LightingOn", kNoTable, Variable::kBool, "force lighting on every material (on change)");
  registerVariable(&LightingOff, "LightingOff", kNoTable, Variable::kBool, "no lighting on any material (on change)");
  registerVariable(&MoreLight, "MoreLight", kNoTable, Variable::kBool, "every material's extra-light flag (on change)");
  registerEvent(kFlicker, "FLICKER", "the selected light flickers while value > 0");
  registerEvent(kSelectObject, "SELECT", "selects the scene object named by the text for the object events");
  registerEvent(kUserVector, "USER_VECTOR", "user vector = the three numbers (read by scene-based parts)");
  registerEvent(kChildrenInherit, "CHILDREN_INHERIT", "the selected object's children follow its transform while value > 0");
  registerEvent(kCameraByName, "CAMERA", "the camera named by the text becomes active (Camera is not read from then on)");
  registerEvent(kVisible, "VISIBLE", "the selected object and its subtree are shown while value > 0");
  registerEvent(kShadows, "SHADOWS", "shadows on while value > 0");
  registerEvent(kCameraFov, "CAMERA_FOV", "the active camera's field of view = value degrees");
  registerEvent(kSelectLight, "SELECT_LIGHT", "selects the light named by the text");
  registerEvent(kLightEnabled, "LIGHT_ENABLED", "the selected light is on while value > 0");
  registerEvent(kAllVertexProgram, "VERTEX_PROGRAM", "every object draws with the vertex program file named by the text");
  registerEvent(kAllFragmentProgram, "FRAGMENT_PROGRAM", "every object draws with the fragment program file named by the text");
  registerEvent(kObjectVertexProgram, "OBJECT_VERTEX_PROGRAM", "the selected object and its children take that vertex program");
  registerEvent(kObjectFragmentProgram, "OBJECT_FRAGMENT_PROGRAM", "the selected object and its children take that fragment program");
  registerEvent(kDepthPass, "DEPTH_PASS", "the depth pass runs while value > 0");
  registerEvent(kCastShadows, "CAST_SHADOWS", "the selected object and its children cast shadows while value > 0");
  for (int32_t face = 0; face < 6; ++face)
    registerEvent(kCubeFace0 + face, "CUBE_FACE", "picture file of cube-map face +X, -X, +Y, -Y, +Z, -Z (codes 47–52 in that order)");
  registerEvent(kCubeMap, "CUBE_MAP", "value > 0: the six faces become every material's cube map; otherwise it is removed");
  registerEvent(kObjectNoCubeMap, "OBJECT_NO_CUBE_MAP", "the selected object loses its cube map");
  registerEvent(kFragmentFactorKey, "FRAGMENT_FACTORS", "keys the selected object's fragment factors: time p0, values p1, p2");
  registerEvent(kShadowLight, "SHADOW_LIGHT", "the light named by the text casts the shadows");
  registerEvent(kSourceOnObject, "SOURCE_ON_OBJECT", "the selected object's material shows the source effect's picture");
  registerEvent(kVertexFactorKey, "VERTEX_FACTORS", "keys the selected object's vertex factors: time p0, values p1, p2");

  // Shared by every scene effect; a reload builds the effects again but keeps the target.
  if (!sharedTarget().isInited()) sharedTarget().init("effect3dtarget", 256, 256, 0);
}

// [SECTION] Loading

void Effect3D::onStringAdded(int32_t table, const std::string& text, int32_t count) {
  if (table != 0) return;
  loadScene(text);
  Datafile.choiceCount = static_cast<uint32_t>(count);
}

void Effect3D::prepare(uint32_t time) {
  const int index = static_cast<int>(Datafile.evaluateInt(time));
  if (index == lastDatafileIndex) return;
  loadScene(getString(0, index));
  lastDatafileIndex = index;
}

bool Effect3D::loadScene(const std::string& fileName) {
  if (fileName.empty() || fileName == sceneFileName) return false;
  Scene* loaded = SceneLoaderVKG::load(fileName, "data/texturesCompressed/", "data/textures/");
  if (!loaded) {
    reportErrorText(DE_HERE, "could not load scene", fileName.c_str(), false);
    return false;
  }
  if (loaded->cameraCount() == 0) reportErrorText(DE_HERE, "no camera in scene", fileName.c_str(), true);
  scene = loaded;
  scene->setKeyedValueSource(&factorVariables());
  sceneFileName = fileName;
  selectedObject = nullptr;
  selectedLight = nullptr;
  Camera.value = 0;
  FOV.value = scene->activeCameraObject()->fovY / 180.0f;
  Camera.choiceCount = static_cast<uint32_t>(scene->cameraCount());
  // The script keys "Camera" by camera name through this table.
  clearStrings(1000);
  for (int i = 0; i < scene->cameraCount(); ++i) addString(1000, scene->cameraName(i));
  return true;
}

// [SECTION] The frame

void Effect3D::start(uint32_t time) {
  Effect::start(time);
  if (!scene) return;
  for (int i = 0; i < scene->lightCount(); ++i) scene->light(i)->updateGLColours();
  glEnable(GL_NORMALIZE);
  userVector = glm::vec3(0.0f);
  sceneClock = 0;
}

void Effect3D::update(uint32_t time) {
  const uint32_t previous = currentTime;
  Effect::update(time);
  // Signed: after a seek back the scene goes back with the demo.
  const auto elapsed = static_cast<int64_t>(time) - static_cast<int64_t>(previous);
  sceneClock += static_cast<float>(elapsed) * speedFactor;
  if (!scene) return;
  applyVariables(time);
  if (sourceEffect) {
    assertTrue(sharedTarget().isInited(), DE_HERE);
    renderSourceToTarget(&sharedTarget(), time);
  }
}

void Effect3D::applyVariables(uint32_t time) {
  scene->setLoop(Loop.evaluateBool(time));
  const bool shadows = Shadows.evaluateBool(time);
  if (Shadows.changed) {
    scene->setShadows(shadows);
    Shadows.changed = false;
  }
  if (!cameraFromEvents) {
    scene->setActiveCamera(static_cast<int>(Camera.evaluateInt(time)));
    scene->activeCameraObject()->fovY = FOV.evaluate(time) * 180.0f;
  }
  ::Camera* camera = scene->activeCameraObject();
  camera->focalPoint = FocalPoint.evaluate(time);
  camera->focalNear = FocalNear.evaluate(time);
  camera->focalFar = FocalFar.evaluate(time);
  camera->focalClamp = FocalClamp.evaluate(time);

  const bool fog = Fog.evaluateBool(time);
  scene->setFog(fog);
  if (fog) {
    const uint32_t mode = FogMode.evaluateInt(time);
    scene->setFogMode(kFogModes[mode < 3 ? mode : 0]);
    if (mode == 2) {
      const float scale = FogScale.evaluate(time) * 30000.0f;
      scene->setFogRange(FogStart.evaluate(time) * scale, FogEnd.evaluate(time) * scale);
    } else {
      scene->setFogDensity(FogDensity.evaluate(time) * 0.01f);
    }
    scene->setFogColour(glm::vec4(FogR.evaluate(time), FogG.evaluate(time), FogB.evaluate(time), 1.0f));
  }

  const bool forceLighting = LightingOn.evaluateBool(time);
  if (LightingOn.changed) {
    scene->setForceLighting(forceLighting);
    LightingOn.changed = false;
  }
  const bool noLighting = LightingOff.evaluateBool(time);
  if (LightingOff.changed) {
    scene->setNoLighting(noLighting);
    LightingOff.changed = false;
  }
  const bool moreLight = MoreLight.evaluateBool(time);
  if (MoreLight.changed) {
    scene->setMoreLight(moreLight);
    MoreLight.changed = false;
  }

  if (selectedObject) selectedObject->setOffset(pulse > 0 ? glm::vec3(pulse * 10.0f - 5.0f) : glm::vec3(0.0f));
}

void Effect3D::render(uint32_t time) {
  if (!scene) return;
  scene->setDemoTime(time);
  scene->setTime(static_cast<float>(timeOffset) + sceneClock);
  scene->animate();
  scene->updateTransforms();
  if (depthPassOn) scene->renderDepthInfo();
  scene->render();
}

DrawingMemory Effect3D::drawingMemory() const {
  if (scene)
    for (int i = 0; i < scene->lightCount(); ++i)
      if (scene->light(i)->flicker) return DrawingMemory::SinceLoad;
  return DrawingMemory::None;
}

// [SECTION] Events

void Effect3D::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  if (!scene) return;
  const float v = event.value;
  switch (event.code) {
    case kFlicker:
      if (Light* light = scene->selectedLightObject()) light->setFlicker(v > 0);
      break;
    case kSelectObject:
      selectedObject = scene->findObject(event.text);
      break;
    case kUserVector:
      userVector = glm::vec3(event.params[0], event.params[1], event.params[2]);
      break;
    case kChildrenInherit:
      if (selectedObject) selectedObject->childrenInherit = v > 0;
      break;
    case kCameraByName:
      scene->setActiveCamera(event.text);
      cameraFromEvents = true;
      break;
    case kVisible:
      if (selectedObject) forSubtree(*selectedObject, [v](SceneObject& o) { o.visible = v > 0; });
      break;
    case kShadows:
      scene->setShadows(v > 0);
      break;
    case kCameraFov:
      scene->activeCameraObject()->fovY = v;
      break;
    case kSelectLight:
      selectedLight = scene->findLight(event.text);
      break;
    case kLightEnabled:
      if (selectedLight) selectedLight->setEnabled(v > 0);
      break;
    case kAllVertexProgram:
      if (SceneObject* root = scene->getRoot()) root->setVertexProgram(event.text, true, true);
      break;
    case kAllFragmentProgram:
      if (SceneObject* root = scene->getRoot()) root->setFragmentProgram(event.text, true, true);
      break;
    case kObjectVertexProgram:
      if (selectedObject) selectedObject->setVertexProgram(event.text, true, false);
      break;
    case kObjectFragmentProgram:
      if (selectedObject) selectedObject->setFragmentProgram(event.text, true, false);
      break;
    case kDepthPass:
      depthPassOn = v > 0;
      break;
    case kCastShadows:
      if (selectedObject) {
        selectedObject->setCastShadows(v > 0, true, false);
        if (auto* mesh = dynamic_cast<MeshObject*>(selectedObject)) mesh->noShadowPass = v <= 0;
      }
      break;
    case kCubeMap:
      if (v > 0) scene->setCubeMap(cubeFaceNames);
      else scene->clearCubeMap();
      break;
    case kObjectNoCubeMap:
      if (selectedObject) selectedObject->setCubeMap(nullptr);
      break;
    case kFragmentFactorKey:
      if (selectedObject)
        selectedObject->setFragmentFactorKey(factorKeyTime(event), event.params[1], event.params[2], 0.0f, 0.0f);
      break;
    case kShadowLight:
      scene->setShadowLight(event.text);
      break;
    case kSourceOnObject:
      if (sourceEffect && selectedObject)
        if (Material* material = selectedObject->getMaterial()) material->setSourceTarget(&sharedTarget());
      break;
    case kVertexFactorKey:
      if (selectedObject)
        selectedObject->setVertexFactorKey(factorKeyTime(event), event.params[1], event.params[2], 0.0f, 0.0f);
      break;
    default:
      if (event.code >= kCubeFace0 && event.code < kCubeFace0 + 6) cubeFaceNames[event.code - kCubeFace0] = event.text;
      break;
  }
}
