#pragma once
// The GL state the engine rests in between effects, and a snapshot of everything an effect
// must give back, for the contract test and the effect tests.

#include <epoxy/gl.h>

#include <array>
#include <sstream>
#include <string>

// Between effects the frame is in the engine's resting state: depth test and depth writes
// on, blending off with the additive equation, no program, the window's framebuffer and
// viewport, the matrix stacks at their depth. The blend factors are not part of it: every
// effect sets them whenever it turns blending on.
inline void enterRestingState() {
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_MODELVIEW);
}

struct GlState {
  GLboolean blend, depthTest, depthMask, cullFace, lighting, fog, alphaTest, stencilTest,
      scissorTest, texture2d, texture2dUnit1;
  GLint blendEquation, depthFunc;
  GLint pipeline, program, drawFramebuffer, readFramebuffer, activeTexture;
  GLint modelviewDepth, projectionDepth, textureDepth, matrixMode;
  std::array<GLint, 4> viewport;
  std::array<GLboolean, 4> colorMask;

  static GlState read() {
    GlState s{};
    s.blend = glIsEnabled(GL_BLEND);
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    s.cullFace = glIsEnabled(GL_CULL_FACE);
    s.lighting = glIsEnabled(GL_LIGHTING);
    s.fog = glIsEnabled(GL_FOG);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.stencilTest = glIsEnabled(GL_STENCIL_TEST);
    s.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    s.texture2d = glIsEnabled(GL_TEXTURE_2D);
    GLint active = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glActiveTexture(GL_TEXTURE1);
    s.texture2dUnit1 = glIsEnabled(GL_TEXTURE_2D);
    glActiveTexture(static_cast<GLenum>(active));
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.blendEquation);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &s.pipeline);
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s.readFramebuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &s.textureDepth);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_VIEWPORT, s.viewport.data());
    glGetBooleanv(GL_COLOR_WRITEMASK, s.colorMask.data());
    return s;
  }

  // The fields that differ from `before`, by name; empty when all came back.
  std::string differencesFrom(const GlState& before) const {
    std::ostringstream out;
    auto check = [&](const char* name, auto now, auto then) {
      if (now != then) out << ' ' << name << ' ' << +then << "->" << +now;
    };
    check("blend", blend, before.blend);
    check("depthTest", depthTest, before.depthTest);
    check("depthMask", depthMask, before.depthMask);
    check("cullFace", cullFace, before.cullFace);
    check("lighting", lighting, before.lighting);
    check("fog", fog, before.fog);
    check("alphaTest", alphaTest, before.alphaTest);
    check("stencilTest", stencilTest, before.stencilTest);
    check("scissorTest", scissorTest, before.scissorTest);
    check("texture2d", texture2d, before.texture2d);
    check("texture2dUnit1", texture2dUnit1, before.texture2dUnit1);
    check("blendEquation", blendEquation, before.blendEquation);
    check("depthFunc", depthFunc, before.depthFunc);
    check("pipeline", pipeline, before.pipeline);
    check("program", program, before.program);
    check("drawFramebuffer", drawFramebuffer, before.drawFramebuffer);
    check("readFramebuffer", readFramebuffer, before.readFramebuffer);
    check("activeTexture", activeTexture, before.activeTexture);
    check("modelviewDepth", modelviewDepth, before.modelviewDepth);
    check("projectionDepth", projectionDepth, before.projectionDepth);
    check("textureDepth", textureDepth, before.textureDepth);
    check("matrixMode", matrixMode, before.matrixMode);
    for (int i = 0; i < 4; ++i) check("viewport", viewport[i], before.viewport[i]);
    for (int i = 0; i < 4; ++i) check("colorMask", colorMask[i], before.colorMask[i]);
    return out.str();
  }
};
