#include "engine/SceneRenderer.h"

#include "base/Error.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/Texture.h"

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
