#include <gtest/gtest.h>

#include "base/Error.h"
#include "support/GlTestContext.h"

namespace {

TEST(FramebufferCheckDeathTest, IncompleteFramebufferIsFatalWithItsName) {
  EXPECT_EXIT(
      {
        GlTestContext gl;
        if (!gl.ok()) std::exit(3);
        GLuint fbo = 0;
        glGenFramebuffersEXT(1, &fbo);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);  // no attachment at all
        checkFramebufferStatus("resources/RenderTarget", 77);
      },
      testing::ExitedWithCode(1),
      "^resources/RenderTarget:77 GL \\(FBO\\) error: GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT\n$");
}

TEST(FramebufferCheck, CompleteWindowFramebufferShowsNothing) {
  GlTestContext gl;
  ASSERT_TRUE(gl.ok());
  testing::internal::CaptureStderr();
  checkFramebufferStatus("m", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
