#include "engine/Scene.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <optional>

#include "base/Display.h"
#include "base/Error.h"
#include "engine/LitPassShadow.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "engine/SceneRenderer.h"
#include "resources/Texture.h"

// Index
// [SECTION] Building
// [SECTION] Lookups
// [SECTION] Settings
// [SECTION] Time and animation
// [SECTION] Rendering
// [SECTION] Spot shadow map
// [SECTION] Omnidirectional shadow
// [SECTION] Depth information

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

// Every pass keeps the state it found: attributes, client arrays and both matrices.
void pushPassState() {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
}

void popPassState() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

class PassState {
 public:
  PassState() { pushPassState(); }
  ~PassState() { popPassState(); }
  PassState(const PassState&) = delete;
  PassState& operator=(const PassState&) = delete;
};

void loadMatrix(GLenum mode, const glm::mat4& m) {
  glMatrixMode(mode);
  glLoadMatrixf(glm::value_ptr(m));
  glMatrixMode(GL_MODELVIEW);
}

// The camera orientation of each cube face (+X, −X, +Y, −Y, +Z, −Z), which GL's cube-map
// addressing requires: looking down the face's axis with the image's up along −Y (or ±Z
// for the Y faces).
glm::mat4 cubeFaceRotation(int face) {
  const auto rotate = [](const glm::mat4& m, float degrees, const glm::vec3& axis) {
    return glm::rotate(m, glm::radians(degrees), axis);
  };
  const glm::mat4 identity(1.0f);
  const glm::vec3 x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  switch (face) {
    case 0: return rotate(rotate(identity, 90, y), 180, x);
    case 1: return rotate(rotate(identity, -90, y), 180, x);
    case 2: return rotate(identity, -90, x);
    case 3: return rotate(identity, 90, x);
    case 4: return rotate(identity, 180, x);
    default: return rotate(identity, 180, z);
  }
}

// Whether an object lies wholly outside the frustum whose clip space `clip` maps the world
// to: every corner of its box beyond one and the same plane. It draws nothing there, and
// the vertices need not be sent. Objects whose extent is not known are never outside.
bool outsideFrustum(const glm::mat4& clip, const SceneObject& object) {
  if (!object.boundsKnown) return false;
  const glm::mat4 toClip = clip * object.world;
  const glm::vec3 lo = object.boundsMin, hi = object.boundsMax;
  // The frustum is where w ± x, w ± y and w ± z are all at least 0 (whatever the sign of
  // w). Bit i set: plane i is negative at every corner so far, by a margin that leaves a
  // corner GL's own arithmetic might place just inside.
  unsigned beyondAll = 0x3f;
  for (int corner = 0; corner < 8 && beyondAll != 0; ++corner) {
    const glm::vec4 p = toClip * glm::vec4(corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y,
                                           corner & 4 ? hi.z : lo.z, 1.0f);
    const float planes[6] = {p.w + p.x, p.w - p.x, p.w + p.y, p.w - p.y, p.w + p.z, p.w - p.z};
    const float margin = 1e-4f * (std::abs(p.x) + std::abs(p.y) + std::abs(p.z) + std::abs(p.w));
    unsigned beyond = 0;
    for (int i = 0; i < 6; ++i)
      if (planes[i] < -margin) beyond |= 1u << i;
    beyondAll &= beyond;
  }
  return beyondAll != 0;
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
  pushPassState();
}

void Scene::endPass() const { popPassState(); }

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

// [SECTION] Spot shadow map

void Scene::spotShadowMapPass() {
  assertTrue(shadows, DE_HERE);
  assertNotNull(shadowLight, DE_HERE);
  assertNotNull(shadowLight->target, DE_HERE);  // a spot shadow light aims at its target
  const Camera* camera = activeCameraObject();
  assertNotNull(camera, DE_HERE);  // the shadow frustum is the camera's
  SceneRenderer& renderer = SceneRenderer::instance();
  const int size = renderer.getDepthSize();
  const glm::vec3 light = shadowLight->getPosition();
  const glm::vec3 target = shadowLight->target->getPosition();

  PassState state;
  renderer.shadowTarget.bind();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glViewport(0, 0, size, size);
  glScissor(0, 0, size, size);
  glEnable(GL_SCISSOR_TEST);
  // The camera's frustum values, not the light's: the shadow map covers what the camera's
  // field of view would from the light.
  const glm::mat4 projection = perspectiveMatrix(camera->fovY, camera->aspect, camera->nearPlane, camera->farPlane);
  const glm::mat4 view = lookAtMatrix(light, target, glm::vec3(0.0f, 1.0f, 0.0f));
  loadMatrix(GL_PROJECTION, projection);
  loadMatrix(GL_MODELVIEW, view);

  glDisable(GL_LIGHTING);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_FOG);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  // Back faces into the map: the lit front faces then never compare against themselves.
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glCullFace(GL_FRONT);
  glPolygonOffset(1.1f, -1.0f);
  glEnable(GL_POLYGON_OFFSET_FILL);

  glEnableClientState(GL_VERTEX_ARRAY);
  const glm::mat4 lightClip = projection * view;
  for (SceneObject* object : drawList)
    if (!outsideFrustum(lightClip, *object)) object->drawDepth();
  glDisableClientState(GL_VERTEX_ARRAY);

  // Light clip space mapped to texture space 0..1 on x, y and depth.
  const glm::mat4 bias = glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(0.5f)), glm::vec3(0.5f));
  shadowTexMatrix = bias * projection * view;
  renderer.shadowTarget.unbind();
}

void Scene::spotShadowTexGen() {
  assertTrue(shadows, DE_HERE);
  glActiveTexture(GL_TEXTURE0);
  // The planes are the matrix's rows, given while the camera's modelview is current, so
  // that GL takes them back from eye space to the world the matrix starts from.
  const GLenum coords[4] = {GL_S, GL_T, GL_R, GL_Q};
  const GLenum enables[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
  for (int i = 0; i < 4; ++i) {
    const glm::vec4 plane = glm::row(shadowTexMatrix, i);
    glTexGenfv(coords[i], GL_EYE_PLANE, glm::value_ptr(plane));
    glTexGeni(coords[i], GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    glEnable(enables[i]);
  }
  glBindTexture(GL_TEXTURE_2D, SceneRenderer::instance().shadowTarget.getDepthTextureId());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
}

void Scene::applySpotShadow() {
  SceneRenderer& renderer = SceneRenderer::instance();
  PassState state;
  spotShadowTexGen();
  renderer.shadowMapFP->bind();
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  // Only where the main pass drew: equal depth, which the fixed-function transform of both
  // passes gives bit for bit.
  glDepthMask(GL_FALSE);
  glDepthFunc(GL_EQUAL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_SRC_ALPHA);

  glEnableClientState(GL_VERTEX_ARRAY);
  for (SceneObject* object : drawList) object->drawShadowReceiver();
  glDisableClientState(GL_VERTEX_ARRAY);

  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  renderer.shadowMapFP->unbind();
  assertTrue(shadows, DE_HERE);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_GEN_Q);
  glActiveTexture(GL_TEXTURE0);
}

// [SECTION] Omnidirectional shadow

void Scene::omniShadowPass() {
  SceneRenderer& renderer = SceneRenderer::instance();
  assertNotNull(renderer.cubeMap, DE_HERE);
  assertNotNull(shadowLight, DE_HERE);
  const Camera* camera = activeCameraObject();
  assertNotNull(camera, DE_HERE);  // the cube faces use the camera's near and far planes
  const glm::vec3 light = shadowLight->getPosition();
  const int size = renderer.getCubeSize();

  PassState state;
  VertexProgram& vp = *renderer.lightDistanceVP;
  vp.setParameter4f(vp.LightVec0, light.x, light.y, light.z, 1.0f);
  vp.bind();
  renderer.currentVertexProgram = &vp;
  renderer.lightDistanceFP->bind();

  glViewport(0, 0, size, size);
  glScissor(0, 0, size, size);
  glEnable(GL_SCISSOR_TEST);
  renderer.bindCubeTarget();
  // Cleared to the farthest distance: nothing there casts a shadow.
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  const glm::mat4 projection = perspectiveMatrix(90.0f, 1.0f, camera->nearPlane, camera->farPlane);
  for (int face = 0; face < 6; ++face) {
    renderer.attachCubeFace(face);
    if (face < 2) checkFramebufferStatus(DE_HERE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    loadMatrix(GL_PROJECTION, projection);
    loadMatrix(GL_MODELVIEW, glm::translate(cubeFaceRotation(face), -light));
    glEnableClientState(GL_VERTEX_ARRAY);
    for (SceneObject* object : drawList) object->drawDepth();
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  renderer.unbindCubeTarget();
  renderer.lightDistanceFP->unbind();
  vp.unbind();
  renderer.currentVertexProgram = nullptr;
}

void Scene::applyOmniShadow(Light* light) {
  SceneRenderer& renderer = SceneRenderer::instance();
  assertNotNull(light, DE_HERE);
  assertTrue(shadows, DE_HERE);
  assertNotNull(renderer.cubeMap, DE_HERE);
  const glm::vec3 where = light->getPosition();

  PassState state;
  glActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_CUBE_MAP);
  renderer.cubeMap->bind();
  // The program looks the distances up in world directions; unit 0's texture matrix takes
  // eye space back to the world (the inverse of the camera's modelview, current here), as
  // fixed-function reflection cube maps do.
  float view[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, view);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadMatrixf(glm::value_ptr(glm::inverse(demo_math::fromGl(view))));
  glMatrixMode(GL_MODELVIEW);

  VertexProgram& vp = *renderer.omniShadowVP;
  vp.bind();
  vp.setParameter4f(vp.LightVec0, where.x, where.y, where.z, 1.0f);
  renderer.currentVertexProgram = &vp;
  renderer.omniShadowFP->bind();

  glDepthMask(GL_FALSE);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_SRC_ALPHA);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(0.0f, -0.6f);

  glEnableClientState(GL_VERTEX_ARRAY);
  for (SceneObject* object : drawList) object->drawDepth();
  glDisableClientState(GL_VERTEX_ARRAY);

  glDisable(GL_POLYGON_OFFSET_FILL);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  renderer.currentVertexProgram = nullptr;
  vp.unbind();
  renderer.omniShadowFP->unbind();
  glActiveTexture(GL_TEXTURE0);
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_TEXTURE_CUBE_MAP);
}

// [SECTION] Depth information

void Scene::renderDepthInfo() {
  assertNotNull(root, DE_HERE);  // a scene without objects
  const Camera* camera = activeCameraObject();
  assertNotNull(camera, DE_HERE);  // depth is measured from the active camera
  SceneRenderer& renderer = SceneRenderer::instance();
  const int size = renderer.getDepthSize();
  const glm::vec4 planes(camera->focalNear, camera->focalPoint, camera->focalFar, camera->focalClamp);
  const glm::vec4 distances(camera->focalPoint - camera->focalNear, camera->focalFar - camera->focalPoint, 0.0f, 0.0f);

  PassState state;
  renderer.depthTarget.bind();
  glViewport(0, 0, size, size);
  // The background is as far as the far plane; its blur is what the program gives there.
  const float farBlur = glm::clamp((1.0f - planes.y) / std::max(distances.y, 1e-6f), 0.0f, planes.w);
  glClearColor(1.0f, farBlur, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);

  FragmentProgram& fp = *renderer.depthInfoFP;
  fp.bind();
  fp.setParameter4fv(fp.depthPlanes, glm::value_ptr(planes));
  fp.setParameter4fv(fp.planeDist, glm::value_ptr(distances));
  checkCgError(DE_HERE);
  VertexProgram& vp = *renderer.depthInfoVP;
  vp.bind();
  renderer.currentVertexProgram = &vp;
  vp.setParameter1f(vp.NearDivFar, camera->nearPlane / camera->farPlane);

  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(GL_TRUE);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  camera->apply();
  glEnableClientState(GL_VERTEX_ARRAY);
  for (SceneObject* object : drawList) object->drawDepth();
  glDisableClientState(GL_VERTEX_ARRAY);

  fp.unbind();
  vp.unbind();
  renderer.currentVertexProgram = nullptr;
  renderer.depthTarget.unbind();
}
