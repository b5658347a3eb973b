#include "engine/Scene.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>

#include "base/Display.h"
#include "base/Error.h"
#include "engine/LitPassShadow.h"
#include "engine/MeshObject.h"
#include "engine/SceneRenderer.h"
#include "resources/Texture.h"

// Index
// [SECTION] Building
// [SECTION] Lookups
// [SECTION] Settings
// [SECTION] Time and animation
// [SECTION] Rendering

namespace {

int textureUnits() {
  if (glCaps.maxTextureUnits == 0) glGetIntegerv(GL_MAX_TEXTURE_UNITS, &glCaps.maxTextureUnits);
  return glCaps.maxTextureUnits;
}

int maxLights() {
  GLint count = 0;
  glGetIntegerv(GL_MAX_LIGHTS, &count);
  return count;
}

}  // namespace

// [SECTION] Building

Scene::Scene() { SceneRenderer::instance().init(SceneRenderer::kDepthSize, SceneRenderer::kCubeSize); }

Scene::~Scene() {
  // A material of this scene still in effect would be forgotten by its destructor; end it.
  const Material* applied = Material::applied();
  for (const auto& [id, owned] : materials)
    if (owned.get() == applied) Material::releaseApplied();
}

void Scene::attach(SceneObject* object, int parentId) {
  if (parentId == -1) {
    if (!root)
      root = object;
    else
      root->appendSibling(object);
    return;
  }
  SceneObject* parent = findObjectById(parentId);
  if (!parent || parent == object) {
    char text[kErrorTextSize];
    std::snprintf(text, sizeof text, "object %s could not find parent obj %d", object->name.c_str(), parentId);
    reportError(DE_HERE, text, false);
    return;
  }
  parent->appendChild(object);
}

void Scene::adoptObject(std::unique_ptr<SceneObject> object, int parentId) {
  assertNotNull(object.get(), DE_HERE);  // a null object handed to the scene
  SceneObject* added = object.get();
  // A clone's copied subtree comes along, in tree order, and is drawn and animated with it.
  std::vector<std::unique_ptr<SceneObject>> below = added->takeClonedDescendants();
  objects.push_back(std::move(object));
  drawList.push_back(added);
  attach(added, parentId);
  for (auto& descendant : below) {
    drawList.push_back(descendant.get());
    objects.push_back(std::move(descendant));
  }
}

void Scene::adoptObjectUnder(std::unique_ptr<SceneObject> object, SceneObject* parent) {
  assertNotNull(object.get(), DE_HERE);  // a null object handed to the scene
  SceneObject* added = object.get();
  std::vector<std::unique_ptr<SceneObject>> below = added->takeClonedDescendants();
  objects.push_back(std::move(object));
  drawList.push_back(added);
  if (!parent) {
    attach(added, -1);
  } else {
    parent->appendChild(added);
  }
  for (auto& descendant : below) {
    drawList.push_back(descendant.get());
    objects.push_back(std::move(descendant));
  }
}

Camera* Scene::addCamera(std::unique_ptr<Camera> camera, int parentId) {
  assertNotNull(camera.get(), DE_HERE);
  Camera* added = camera.get();
  cameras.push_back(added);
  objects.push_back(std::move(camera));
  if (parentId != -1) attach(added, parentId);
  return added;
}

Light* Scene::addLight(std::unique_ptr<Light> light, int parentId) {
  assertNotNull(light.get(), DE_HERE);
  Light* added = light.get();
  added->glIndex = static_cast<int>(lights.size());
  added->updateGLColours();
  lights.push_back(added);
  objects.push_back(std::move(light));
  if (parentId != -1) attach(added, parentId);
  return added;
}

Material* Scene::addMaterial(std::unique_ptr<Material> material) {
  assertNotNull(material.get(), DE_HERE);
  const int id = material->getId();
  auto [it, inserted] = materials.emplace(id, std::move(material));
  return inserted ? it->second.get() : nullptr;
}

bool Scene::outsideTree(const SceneObject* object) const {
  return object != root && !object->getParent() && !object->getPreviousSibling();
}

void Scene::finishLoading() {
  if (root) root->bindToScene(this);
  // Meshes hung below a light or camera that is itself outside the tree.
  for (SceneObject* object : lights)
    if (outsideTree(object) && object->getFirstChild()) object->getFirstChild()->bindToScene(this);
  for (SceneObject* object : cameras)
    if (outsideTree(object) && object->getFirstChild()) object->getFirstChild()->bindToScene(this);

  // Objects with a material first, by ascending material id, so that consecutive meshes
  // share their material state; a stable sort keeps the file order otherwise.
  std::stable_sort(drawList.begin(), drawList.end(), [](const SceneObject* a, const SceneObject* b) {
    const Material* ma = a->getMaterial();
    const Material* mb = b->getMaterial();
    if (!ma || !mb) return ma && !mb;
    return ma->getId() < mb->getId();
  });

  for (Camera* camera : cameras) camera->target = findObjectById(camera->targetId);
  for (Light* light : lights)
    if (light->targetId != 0) light->target = findObjectById(light->targetId);
}

// [SECTION] Lookups

SceneObject* Scene::findObject(const std::string& name) const {
  for (const auto& object : objects)
    if (object->name == name) return object.get();
  return nullptr;
}

SceneObject* Scene::findObjectById(int id) const {
  for (const auto& object : objects)
    if (object->id == id) return object.get();
  return nullptr;
}

Camera* Scene::findCamera(const std::string& name) const {
  for (Camera* camera : cameras)
    if (camera->name == name) return camera;
  return nullptr;
}

Light* Scene::findLight(const std::string& name) const {
  for (Light* light : lights)
    if (light->name == name) return light;
  return nullptr;
}

Light* Scene::light(int index) const {
  return index >= 0 && index < lightCount() ? lights[static_cast<size_t>(index)] : nullptr;
}

Material* Scene::material(int id) const {
  auto it = materials.find(id);
  return it == materials.end() ? nullptr : it->second.get();
}

Camera* Scene::activeCameraObject() const { return cameras.empty() ? nullptr : cameras[activeCamera]; }

Light* Scene::selectedLightObject() const { return lights.empty() ? nullptr : lights[selectedLight]; }

std::string Scene::cameraName(int index) const {
  return index >= 0 && index < cameraCount() ? cameras[static_cast<size_t>(index)]->name : std::string();
}

// [SECTION] Settings

void Scene::setActiveCamera(int index) {
  if (index >= 0 && index < cameraCount()) activeCamera = static_cast<size_t>(index);
}

void Scene::resetCameras() {
  activeCamera = 0;
  for (Camera* camera : cameras) camera->fovY = camera->fileFovY;
}

void Scene::setActiveCamera(const std::string& name) {
  for (size_t i = 0; i < cameras.size(); ++i) {
    if (cameras[i]->name == name) {
      activeCamera = i;
      return;
    }
  }
}

void Scene::setSelectedLight(int index) {
  if (index >= 0 && index < lightCount()) selectedLight = static_cast<size_t>(index);
}

void Scene::setFogRange(float start, float end) {
  fogStart = start;
  fogEnd = end;
}

void Scene::setShadows(bool on) {
  if (textureUnits() < 3) return;
  shadows = on;
  if (root) root->setCastShadows(on, true, true);
}

void Scene::setShadowLight(const std::string& name) {
  // Only a light can cast the shadows: an object of that name that is not one is as
  // unknown as a missing one.
  shadowLight = findLight(name);
  assertNotNull(shadowLight, DE_HERE);
  shadowType = shadowLight->target ? kSpotShadow : kOmniShadow;
}

void Scene::setForceLighting(bool on) {
  for (auto& [id, material] : materials) material->setForceLighting(on);
}

void Scene::setNoLighting(bool on) {
  for (auto& [id, material] : materials) material->setNoLighting(on);
}

void Scene::setMoreLight(bool on) {
  for (auto& [id, material] : materials) material->setMoreLight(on);
}

bool Scene::setCubeMap(const std::array<std::string, 6>& faceNames) {
  Texture* cube = TextureManager::instance().getCubeMap(faceNames, "");
  if (!cube) return false;
  for (auto& [id, material] : materials) material->setCubeMap(cube);
  return true;
}

void Scene::clearCubeMap() {
  for (auto& [id, material] : materials) material->setCubeMap(nullptr);
}

// [SECTION] Time and animation

void Scene::setTime(float t) {
  if (frameDuration <= 0 || frameCount <= 0) {
    frame = 0;
    fraction = 0.0f;
    return;
  }
  // Truncated toward zero; times beyond the int range are held at its ends.
  const double whole = std::trunc(static_cast<double>(t) / frameDuration);
  const int f = static_cast<int>(std::clamp(whole, double(INT_MIN), double(INT_MAX)));
  double time = t;
  if (loop) {
    frame = f % frameCount;
    time -= static_cast<double>(f / frameCount) * frameCount * frameDuration;
  } else {
    frame = f;
  }
  fraction = static_cast<float>((time - static_cast<double>(frame) * frameDuration) / frameDuration);
  if (frame < 0) frame = 0;
  if (frame > frameCount) frame = frameCount - 1;
}

void Scene::animate() {
  for (const auto& object : objects) object->animate(frame, fraction);
}

void Scene::updateTransforms() {
  updateWorldMatrices();
  if (shadows && shadowType == kSpotShadow && shadowLight) spotShadowMapPass();
}

void Scene::updateWorldMatrices() {
  assertNotNull(root, DE_HERE);  // a scene without objects
  const glm::mat4 identity(1.0f);
  // Lights (and cameras) outside the tree carry their own subtrees; those in the tree are
  // reached from the root, and a second walk from them would run on along their siblings.
  for (Light* light : lights)
    if (outsideTree(light)) light->updateTransform(identity);
  for (Camera* camera : cameras)
    if (outsideTree(camera)) camera->updateTransform(identity);
  root->updateTransform(identity);
}

// [SECTION] Rendering

void Scene::beginPass() const {
  // A material someone left in effect ends before this pass pushes its own state, so that
  // the pops pair up.
  Material::releaseApplied();
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
}

void Scene::endPass() const {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

void Scene::setCommonState() const {
  const glm::vec4 black(0.0f, 0.0f, 0.0f, 1.0f);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, glm::value_ptr(black));
  const int count = maxLights();
  for (int i = 0; i < count; ++i) glDisable(static_cast<GLenum>(GL_LIGHT0 + i));
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  if (fog) {
    glEnable(GL_FOG);
    glFogfv(GL_FOG_COLOR, glm::value_ptr(fogColour));
    glFogi(GL_FOG_MODE, static_cast<GLint>(fogMode));
    if (fogMode == GL_LINEAR) {
      glFogf(GL_FOG_START, fogStart);
      glFogf(GL_FOG_END, fogEnd);
    } else {
      glFogf(GL_FOG_DENSITY, fogDensity);
    }
  }
}

void Scene::applyCameraAndLights() const {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (const Camera* camera = activeCameraObject()) camera->apply();
  for (Light* light : lights) {
    // Scenes share the GL lights: each frame's colours are this scene's.
    light->updateGLColours();
    light->apply();
  }
}

void Scene::disableFog() const {
  if (fog) glDisable(GL_FOG);
}

bool Scene::blendsOverReceivers() const {
  for (const SceneObject* object : drawList) {
    const Material* material = object->getMaterial();
    if (object->visible && material && (material->isTransparent() || material->blend)) return true;
  }
  return false;
}

void Scene::render() {
  assertNotNull(root, DE_HERE);  // a scene without objects
  beginPass();
  setCommonState();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  if (shadows && shadowType == kOmniShadow && shadowLight) omniShadowPass();
  applyCameraAndLights();
  const bool multisample = fsaaMode > 0 && epoxy_has_gl_extension("GL_ARB_multisample");
  if (multisample) glEnable(GL_MULTISAMPLE);
  // The spot shadow darkens the receivers as they are drawn where it can. Not when surfaces
  // are blended over others: the apply pass darkens what they cover together with them, and
  // the picture must not depend on which way the shadow was drawn.
  const bool spot = shadows && shadowType == kSpotShadow && shadowLight;
  std::optional<LitPassShadow> inPass;
  if (spot && litPassShadow && LitPassShadow::available() && !blendsOverReceivers())
    inPass.emplace(shadowTexMatrix, SceneRenderer::instance().shadowTarget.getDepthTextureId(),
                   SceneRenderer::kShadowKeeps);
  for (SceneObject* object : drawList) object->draw();
  Material::releaseApplied();
  const bool applyPass = !inPass || inPass->receiversLeft() > 0;
  inPass.reset();
  if (multisample) glDisable(GL_MULTISAMPLE);
  if (shadows && shadowLight) {
    if (spot && applyPass) applySpotShadow();
    if (shadowType == kOmniShadow) applyOmniShadow(shadowLight);
  }
  disableFog();
  endPass();
}

void Scene::renderHierarchy() {
  if (!root) reportError(DE_HERE, "no objects in scene", true);
  beginPass();
  setCommonState();
  const bool spot = shadows && shadowType == kSpotShadow && shadowLight;
  if (spot) {
    // The map is drawn from the world matrices, which the parts drawing the tree directly
    // do not keep up otherwise.
    updateWorldMatrices();
    spotShadowMapPass();
  }
  applyCameraAndLights();
  // There is no apply pass here: the receivers that can take the shadow as they are drawn
  // do, the others draw unshadowed.
  std::optional<LitPassShadow> inPass;
  if (spot && LitPassShadow::available())
    inPass.emplace(shadowTexMatrix, SceneRenderer::instance().shadowTarget.getDepthTextureId(),
                   SceneRenderer::kShadowKeeps);
  for (Light* light : lights)
    if (outsideTree(light)) light->drawHierarchy();
  root->drawHierarchy();
  // Like render: the last material's state must not outlive the pass, or it leaks into
  // the next effect and the next frame skips applying it.
  Material::releaseApplied();
  inPass.reset();
  disableFog();
  endPass();
}
