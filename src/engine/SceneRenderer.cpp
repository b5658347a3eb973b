#include "engine/SceneRenderer.h"

#include <cmath>

#include "base/Error.h"
#include "engine/FragmentProgram.h"
#include "engine/Scene.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/Texture.h"

// Index
// [SECTION] Shared resources
// [SECTION] Spot shadow map
// [SECTION] Omnidirectional shadow
// [SECTION] Depth information

namespace {

// Every pass keeps the state it found: attributes, client arrays and both matrices.
class PassState {
 public:
  PassState() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
  }
  ~PassState() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
  }
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

// [SECTION] Shared resources

SceneRenderer& SceneRenderer::instance() {
  // Never destroyed: its GL objects cannot be deleted once the context is gone.
  static SceneRenderer* renderer = new SceneRenderer;
  return *renderer;
}

void SceneRenderer::init(int depth, int cube) {
  depthSize = depth;
  cubeSize = cube;
  // init() of a render target binds textures; the caller's bindings come back afterwards.
  glPushAttrib(GL_TEXTURE_BIT);
  if (!depthTarget.isInited()) depthTarget.init("scenedepth", depthSize, depthSize, RenderTarget::kDepth);
  if (!depthInfoFP) depthInfoFP = getFragmentProgram("data/shaders/fp_depth_info.cg");
  if (!depthInfoVP) depthInfoVP = getVertexProgram("data/shaders/vp_depth_info.cg");
  if (!shadowTarget.isInited())
    shadowTarget.init("sceneshadow", depthSize, depthSize, RenderTarget::kDepth | RenderTarget::kShadowCompare);
  if (!shadowMapFP) shadowMapFP = getFragmentProgram("data/shaders/fp_shadowmap.cg");
  if (!lightDistanceVP) lightDistanceVP = getVertexProgram("data/shaders/vp_light_distance.cg");
  if (!lightDistanceFP) lightDistanceFP = getFragmentProgram("data/shaders/fp_light_distance.cg");
  if (!omniShadowVP) omniShadowVP = getVertexProgram("data/shaders/vp_omni_shadowmap.cg");
  if (!omniShadowFP) omniShadowFP = getFragmentProgram("data/shaders/fp_omni_shadowmap.cg");
  if (!cubeMap) {
    cubeMap = TextureManager::instance().createCubeMap("scenecubemap", cubeSize);
    assertNotNull(cubeMap, DE_HERE);
    // Packed distances must not be blended between texels.
    cubeMap->bind();
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  assertTrue(depthInfoVP && depthInfoFP && lightDistanceVP && lightDistanceFP && shadowMapFP && omniShadowVP &&
                 omniShadowFP && cubeMap,
             DE_HERE);
  if (cubeFramebuffer == 0) {
    // "jalla": the cube texture as colour (one face at a time) over one depth buffer.
    glGenRenderbuffers(1, &cubeDepthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, cubeDepthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, cubeSize, cubeSize);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &cubeFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, cubeFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, cubeDepthBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, cubeDepthBuffer);
    attachCubeFace(0);
    checkFramebufferStatus(DE_HERE);
    glBindFramebuffer(GL_FRAMEBUFFER, RenderTarget::boundFramebuffer());
  }
  glPopAttrib();
}

void SceneRenderer::bindCubeTarget() const { glBindFramebuffer(GL_FRAMEBUFFER, cubeFramebuffer); }

void SceneRenderer::unbindCubeTarget() const { glBindFramebuffer(GL_FRAMEBUFFER, RenderTarget::boundFramebuffer()); }

void SceneRenderer::attachCubeFace(int face) const {
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face),
                         cubeMap->getId(), 0);
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
