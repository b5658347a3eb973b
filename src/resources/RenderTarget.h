#pragma once
// Off-screen framebuffer objects whose colour (and optionally depth) buffers are textures.
// Binding nests through one process-wide stack, so an effect can render into a
// target while another is bound and the outer binding returns afterwards.
//
// The target does not touch the viewport or the matrices: after bind() set the viewport to
// the target's size, after unbind() back to the window's.

#include <epoxy/gl.h>

#include <string>

class Texture;

class RenderTarget {
 public:
  // Creation flags of init().
  static constexpr int kDepth = 1;          // a depth texture "<name>_depth"
  static constexpr int kShadowCompare = 2;  // with kDepth: linear filtering and R-to-texture compare
  static constexpr int kAlpha = 4;          // GL_RGBA colour, else GL_RGB
  static constexpr int kFloat = 8;          // precision code 1: floating-point colour
  static constexpr int k16Bit = 16;         // precision code 2: 16 bits per channel

  RenderTarget() = default;
  RenderTarget(const RenderTarget&) = delete;
  RenderTarget& operator=(const RenderTarget&) = delete;

  // Creates the framebuffer with the colour texture "<name>_colorbuffer" (and the depth
  // texture) through the texture manager; two targets with one name share the textures.
  // Leaves the previous framebuffer (normally the window's) bound, and the colour texture
  // bound to GL_TEXTURE_2D.
  void init(const std::string& name, int width, int height, int flags);

  // Pushes this target on the binding stack and makes it the drawing destination.
  void bind();
  // Pops the stack and binds the target below, or the window when it is empty.
  void unbind();

  GLuint getColorTextureId();
  GLuint getDepthTextureId();  // fatal assertion for a target without a depth texture
  Texture* getColorTexture();
  Texture* getDepthTexture();  // null for a target without one
  int getWidth();
  int getHeight();
  bool isInited() const { return inited; }

  // glTexParameteri(GL_TEXTURE_2D, parameter, value) on whichever texture is bound to
  // GL_TEXTURE_2D (effects bind the colour texture first), then the window is bound.
  void setTextureParameter(GLenum parameter, GLint value);

  // The framebuffer on top of the binding stack, 0 for the window (for tests).
  static GLuint boundFramebuffer();

 private:
  void requireInited(int line) const;  // fatal "RenderTarget not inited"

  GLuint framebuffer = 0;
  Texture* colorTexture = nullptr;
  Texture* depthTexture = nullptr;
  int width = 0;
  int height = 0;
  bool inited = false;
};
