#include "resources/RenderTarget.h"

#include <vector>

#include "base/Error.h"
#include "platform/Window.h"
#include "resources/Texture.h"

namespace {

// Framebuffers bound through RenderTarget::bind, innermost last.
std::vector<GLuint>& bindingStack() {
  static std::vector<GLuint> stack;
  return stack;
}

// What is bound when no bind() is pending: the innermost target, else the screen.
void bindStackTop() {
  const auto& stack = bindingStack();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, stack.empty() ? platform::screenFramebuffer() : stack.back());
}

}  // namespace

void RenderTarget::requireInited(int line) const {
  if (!inited) reportError(__FILE__, line, "RenderTarget not inited", true);
}

void RenderTarget::init(const std::string& name, int width, int height, int flags) {
  this->width = width;
  this->height = height;
  // A constructor that re-initialises a shared target gets a fresh framebuffer.
  if (framebuffer != 0) glDeleteFramebuffersEXT(1, &framebuffer);
  glGenFramebuffersEXT(1, &framebuffer);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);

  TextureManager& manager = TextureManager::instance();
  const int precision = (flags >> 3) & 3;
  colorTexture = manager.createTexture(name + "_colorbuffer", width, height, GL_TEXTURE_2D,
                                       (flags & kAlpha) ? GL_RGBA : GL_RGB, 2 * precision);
  assertNotNull(colorTexture, DE_HERE);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                            colorTexture->getId(), 0);

  depthTexture = nullptr;
  if (flags & kDepth) {
    depthTexture = manager.createTexture(name + "_depth", width, height, GL_DEPTH_COMPONENT,
                                         GL_RGBA, 0);
    assertNotNull(depthTexture, DE_HERE);
    depthTexture->bind();
    if (flags & kShadowCompare) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
      glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE_ARB, GL_INTENSITY);
    }
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D,
                              depthTexture->getId(), 0);
  }
  checkFramebufferStatus(DE_HERE);
  // Back to whatever was bound before (the window, unless a target is being drawn into).
  bindStackTop();
  // Effects set the wrap mode with setTextureParameter straight after init; the texture
  // they sample, and so the one meant, is the colour buffer.
  colorTexture->bind();
  inited = true;
}

void RenderTarget::bind() {
  requireInited(__LINE__);
  bindingStack().push_back(framebuffer);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
  checkFramebufferStatus(DE_HERE);
}

void RenderTarget::unbind() {
  requireInited(__LINE__);
  assertTrue(!bindingStack().empty(), DE_HERE);  // unbind without a matching bind
  bindingStack().pop_back();
  bindStackTop();
  checkFramebufferStatus(DE_HERE);
}

GLuint RenderTarget::getColorTextureId() {
  requireInited(__LINE__);
  assertNotNull(colorTexture, DE_HERE);
  return colorTexture->getId();
}

GLuint RenderTarget::getDepthTextureId() {
  requireInited(__LINE__);
  assertNotNull(depthTexture, DE_HERE);  // the target was created without kDepth
  return depthTexture->getId();
}

Texture* RenderTarget::getColorTexture() {
  requireInited(__LINE__);
  return colorTexture;
}

Texture* RenderTarget::getDepthTexture() {
  requireInited(__LINE__);
  return depthTexture;
}

int RenderTarget::getWidth() {
  requireInited(__LINE__);
  return width;
}

int RenderTarget::getHeight() {
  requireInited(__LINE__);
  return height;
}

void RenderTarget::setTextureParameter(GLenum parameter, GLint value) {
  requireInited(__LINE__);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
  glTexParameteri(GL_TEXTURE_2D, parameter, value);
  bindStackTop();
}

GLuint RenderTarget::boundFramebuffer() {
  const auto& stack = bindingStack();
  return stack.empty() ? platform::screenFramebuffer() : stack.back();
}
