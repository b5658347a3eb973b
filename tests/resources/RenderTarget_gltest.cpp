#include "resources/RenderTarget.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "resources/Texture.h"
#include "support/GlTestContext.h"

namespace {

class RenderTargets : public testing::Test {
 protected:
  static void SetUpTestSuite() { gl = new GlTestContext(32, 32); }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(gl->ok()); }

  static GLint boundFramebuffer() {
    GLint name = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &name);
    return name;
  }
  static void clear(float r, float g, float b, float a = 1.0f) {
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // Texel (0, 0) of a 2D texture.
  static std::array<uint8_t, 4> firstTexel(GLuint texture, int width, int height) {
    std::vector<uint8_t> data(size_t(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, data.data());
    return {data[0], data[1], data[2], data[3]};
  }
  static void unitOrtho(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }

  static GlTestContext* gl;
};

GlTestContext* RenderTargets::gl = nullptr;

TEST_F(RenderTargets, ConstructedTargetIsNotInited) {
  RenderTarget target;
  EXPECT_FALSE(target.isInited());
}

TEST_F(RenderTargets, InitCreatesNamedTexturesAndLeavesTheWindowBound) {
  RenderTarget target;
  target.init("rt_plain", 16, 8, 0);
  EXPECT_TRUE(target.isInited());
  EXPECT_EQ(target.getWidth(), 16);
  EXPECT_EQ(target.getHeight(), 8);
  EXPECT_EQ(boundFramebuffer(), 0);
  EXPECT_EQ(TextureManager::instance().useCount("rt_plain_colorbuffer"), 1);
  EXPECT_EQ(TextureManager::instance().useCount("rt_plain_depth"), 0);
  EXPECT_EQ(target.getDepthTexture(), nullptr);
  EXPECT_EQ(target.getColorTexture()->getInternalFormat(), GLenum(GL_RGB));
  EXPECT_EQ(target.getColorTextureId(), target.getColorTexture()->getId());
}

TEST_F(RenderTargets, FlagsChooseAlphaPrecisionAndDepth) {
  RenderTarget alpha, deep, withDepth;
  alpha.init("rt_alpha", 8, 8, RenderTarget::kAlpha);
  EXPECT_EQ(alpha.getColorTexture()->getInternalFormat(), GLenum(GL_RGBA));
  deep.init("rt_deep", 8, 8, RenderTarget::kAlpha | RenderTarget::k16Bit);
  EXPECT_EQ(deep.getColorTexture()->getInternalFormat(), GLenum(GL_RGBA16));
  withDepth.init("rt_depth", 8, 8, RenderTarget::kDepth);
  ASSERT_NE(withDepth.getDepthTexture(), nullptr);
  EXPECT_EQ(withDepth.getDepthTexture()->getTarget(), GLenum(GL_DEPTH_COMPONENT));
  EXPECT_EQ(withDepth.getDepthTextureId(), withDepth.getDepthTexture()->getId());
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, NestedBindingsReturnToTheOuterTargetThenTheWindow) {
  RenderTarget a, b;
  a.init("rt_outer", 16, 16, 0);
  b.init("rt_inner", 16, 16, 0);
  glViewport(0, 0, 16, 16);
  a.bind();
  clear(1, 0, 0);
  b.bind();
  EXPECT_EQ(RenderTarget::boundFramebuffer(), GLuint(boundFramebuffer()));
  clear(0, 1, 0);
  b.unbind();
  // Drawing now lands in A again.
  EXPECT_EQ(RenderTarget::boundFramebuffer(), GLuint(boundFramebuffer()));
  EXPECT_NE(boundFramebuffer(), 0);
  clear(0, 0, 1);
  a.unbind();
  EXPECT_EQ(boundFramebuffer(), 0);
  glViewport(0, 0, 32, 32);
  clear(1, 1, 1);
  EXPECT_EQ(firstTexel(a.getColorTextureId(), 16, 16), (std::array<uint8_t, 4>{0, 0, 255, 255}));
  EXPECT_EQ(firstTexel(b.getColorTextureId(), 16, 16), (std::array<uint8_t, 4>{0, 255, 0, 255}));
  EXPECT_EQ(gl->pixel(5, 5), (std::array<uint8_t, 4>{255, 255, 255, 255}));
}

TEST_F(RenderTargets, InitWhileAnotherTargetIsBoundKeepsThatBinding) {
  RenderTarget outer, late;
  outer.init("rt_keep_outer", 8, 8, 0);
  outer.bind();
  const GLint outerName = boundFramebuffer();
  late.init("rt_keep_late", 8, 8, 0);
  EXPECT_EQ(boundFramebuffer(), outerName);
  outer.unbind();
  EXPECT_EQ(boundFramebuffer(), 0);
}

TEST_F(RenderTargets, TwoTargetsWithOneNameShareTheirTextures) {
  RenderTarget first, second;
  first.init("rt_same", 8, 8, RenderTarget::kDepth);
  second.init("rt_same", 8, 8, RenderTarget::kDepth);
  EXPECT_EQ(first.getColorTextureId(), second.getColorTextureId());
  EXPECT_EQ(first.getDepthTextureId(), second.getDepthTextureId());
  EXPECT_EQ(TextureManager::instance().useCount("rt_same_colorbuffer"), 2);
}

TEST_F(RenderTargets, FloatTargetKeepsValuesAboveOne) {
  RenderTarget target;
  target.init("rt_float", 4, 4, RenderTarget::kFloat);
  EXPECT_EQ(target.getColorTexture()->getInternalFormat(), floatSurfaceFormat());
  target.bind();
  glViewport(0, 0, 4, 4);
  clear(2.5f, 0.5f, 4.0f);
  target.unbind();
  std::vector<float> data(4 * 4 * 3);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, data.data());
  EXPECT_FLOAT_EQ(data[0], 2.5f);
  EXPECT_FLOAT_EQ(data[1], 0.5f);
  EXPECT_FLOAT_EQ(data[2], 4.0f);
}

TEST_F(RenderTargets, FloatSurfacesTakeRgba16fWhereTheFloatFormatCannotBeDrawnInto) {
  // A shared-exponent float format is a valid texture but never a colour buffer.
  EXPECT_EQ(renderableFloatFormat(GL_RGB9_E5), GLenum(GL_RGBA16F));
  EXPECT_EQ(renderableFloatFormat(GL_RGBA16F), GLenum(GL_RGBA16F));
  EXPECT_EQ(renderableFloatFormat(GL_RGBA32F), GLenum(GL_RGBA32F));
  const GLenum saved = floatTextureFormat;
  floatTextureFormat = GL_RGB9_E5;
  RenderTarget target;
  target.init("rt_float_fallback", 4, 4, RenderTarget::kFloat);  // complete, or init stops
  EXPECT_EQ(target.getColorTexture()->getInternalFormat(), GLenum(GL_RGBA16F));
  floatTextureFormat = saved;
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, InitAgainGivesTheOldFramebufferBackOrReusesIt) {
  RenderTarget target;
  target.init("rt_again_a", 8, 8, RenderTarget::kDepth);
  target.bind();
  const GLuint first = RenderTarget::boundFramebuffer();
  target.unbind();
  // A reload builds the effects again, and their constructors initialise the shared
  // targets again, now without a depth buffer.
  target.init("rt_again_b", 8, 8, 0);
  target.bind();
  const GLuint second = RenderTarget::boundFramebuffer();
  GLint depthAttachment = -1;
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &depthAttachment);
  clear(0, 1, 0);
  target.unbind();
  EXPECT_TRUE(second == first || !glIsFramebuffer(first)) << first << " still exists beside " << second;
  EXPECT_EQ(depthAttachment, GL_NONE);
  EXPECT_EQ(target.getColorTextureId(), TextureManager::instance().createTexture(
                                            "rt_again_b_colorbuffer", 8, 8, GL_TEXTURE_2D, GL_RGB, 0)->getId());
  EXPECT_EQ(firstTexel(target.getColorTextureId(), 8, 8), (std::array<uint8_t, 4>{0, 255, 0, 255}));
}

TEST_F(RenderTargets, ShadowCompareDepthTextureComparesAgainstR) {
  RenderTarget shadow;
  shadow.init("rt_shadow", 16, 16, RenderTarget::kDepth | RenderTarget::kShadowCompare);
  glBindTexture(GL_TEXTURE_2D, shadow.getDepthTextureId());
  GLint mode = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, &mode);
  EXPECT_EQ(mode, GL_COMPARE_R_TO_TEXTURE_ARB);

  // Depth 0.5 on the left half (a quad at z = 0), 1 (cleared) on the right.
  shadow.bind();
  unitOrtho(16, 16);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glBegin(GL_QUADS);
  glVertex3f(0, 0, 0);
  glVertex3f(0.5f, 0, 0);
  glVertex3f(0.5f, 1, 0);
  glVertex3f(0, 1, 0);
  glEnd();
  glDisable(GL_DEPTH_TEST);
  shadow.unbind();

  // Sampled with r = 0.7: lit (1) where 0.7 <= stored depth, shadowed (0) elsewhere.
  unitOrtho(32, 32);
  clear(0.5f, 0.5f, 0.5f);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, shadow.getDepthTextureId());
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord4f(0, 0, 0.7f, 1);
  glVertex2f(0, 0);
  glTexCoord4f(1, 0, 0.7f, 1);
  glVertex2f(1, 0);
  glTexCoord4f(1, 1, 0.7f, 1);
  glVertex2f(1, 1);
  glTexCoord4f(0, 1, 0.7f, 1);
  glVertex2f(0, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  EXPECT_EQ(gl->pixel(6, 16)[0], 0);
  EXPECT_EQ(gl->pixel(26, 16)[0], 255);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, SetTextureParameterActsOnTheBoundTextureAndReturnsToTheWindow) {
  RenderTarget target;
  target.init("rt_wrap", 8, 8, 0);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  target.setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  target.setTextureParameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  GLint wrap = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap);
  EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
  EXPECT_EQ(boundFramebuffer(), 0);
}

TEST_F(RenderTargets, WrapModeSetRightAfterInitReachesTheColourTexture) {
  RenderTarget target;
  target.init("rt_wrap_direct", 8, 8, RenderTarget::kDepth | RenderTarget::kAlpha);
  target.setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  GLint wrap = 0;
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
  EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
}

class RenderTargetsDeathTest : public RenderTargets {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RenderTargets::SetUp();
  }
};

TEST_F(RenderTargetsDeathTest, DepthTextureOfATargetWithoutOneIsFatal) {
  RenderTarget target;
  target.init("rt_nodepth", 8, 8, 0);
  EXPECT_EXIT(target.getDepthTextureId(), testing::ExitedWithCode(1),
              "^(src/)?resources/RenderTarget.cpp:[0-9]+ assertion failed\n$");
}

TEST_F(RenderTargetsDeathTest, EveryOperationNeedsInit) {
  RenderTarget target;
  const char* expected = "^(src/)?resources/RenderTarget.cpp:[0-9]+ RenderTarget not inited\n$";
  EXPECT_EXIT(target.bind(), testing::ExitedWithCode(1), expected);
  EXPECT_EXIT(target.unbind(), testing::ExitedWithCode(1), expected);
  EXPECT_EXIT(target.getColorTextureId(), testing::ExitedWithCode(1), expected);
  EXPECT_EXIT(target.getWidth(), testing::ExitedWithCode(1), expected);
  EXPECT_EXIT(target.setTextureParameter(GL_TEXTURE_WRAP_S, GL_REPEAT), testing::ExitedWithCode(1),
              expected);
}

TEST_F(RenderTargetsDeathTest, UnbindWithoutBindIsFatal) {
  RenderTarget target;
  target.init("rt_unbalanced", 8, 8, 0);
  EXPECT_EXIT(target.unbind(), testing::ExitedWithCode(1),
              "^(src/)?resources/RenderTarget.cpp:[0-9]+ assertion failed\n$");
}

}  // namespace
