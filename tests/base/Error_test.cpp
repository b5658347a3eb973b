#include "base/Error.h"

#include <gtest/gtest.h>

#include <string>

#include "support/GlTestContext.h"

namespace {

std::string captureStderr(void (*report)()) {
  testing::internal::CaptureStderr();
  report();
  return testing::internal::GetCapturedStderr();
}

TEST(ErrorReport, NonFatalReportsWriteTheFormattedLineAndReturn) {
  EXPECT_EQ(captureStderr([] { reportError("base/Foo", 12, "Unsupported variable", false); }),
            "base/Foo:12 Unsupported variable\n");
  EXPECT_EQ(captureStderr([] { reportErrorValue("engine/Material", 7, "shademodel", -3, false); }),
            "engine/Material:7 shademodel: -3\n");
  EXPECT_EQ(captureStderr([] { reportErrorText("x", 1, "could not load scene", "a.vkg", false); }),
            "x:1 could not load scene: a.vkg\n");
}

TEST(ErrorReport, EmptyDetailStillGetsTheSeparator) {
  EXPECT_EQ(captureStderr([] { reportErrorText("m", 3, "Shader file not found: ", "", false); }),
            "m:3 Shader file not found: : \n");
}

TEST(ErrorReport, LongTextIsCutAt199Characters) {
  const std::string out = captureStderr([] {
    const std::string longDetail(500, 'x');
    reportErrorText("mod", 42, "message", longDetail.c_str(), false);
  });
  ASSERT_EQ(out.size(), 200u);  // 199 characters and the newline
  EXPECT_EQ(out.substr(0, 16), "mod:42 message: ");
  EXPECT_EQ(out.back(), '\n');
}

TEST(ErrorReport, PassingAssertionsShowNothing) {
  int value = 0;
  EXPECT_EQ(captureStderr([] { assertTrue(true, "a", 1); }), "");
  testing::internal::CaptureStderr();
  assertNotNull(&value, "a", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

using ErrorReportDeathTest = testing::Test;

TEST_F(ErrorReportDeathTest, FatalReportsExitWithCodeOneAndTheLine) {
  EXPECT_EXIT(reportError("launcher/VelkorLauncher", 99, "Window creation failed", true),
              testing::ExitedWithCode(1), "^launcher/VelkorLauncher:99 Window creation failed\n$");
  EXPECT_EXIT(reportErrorValue("m", 5, "v", 17, true), testing::ExitedWithCode(1), "^m:5 v: 17\n$");
  EXPECT_EXIT(reportErrorText("m", 6, "Extension not supported", "ARB_shadow", true),
              testing::ExitedWithCode(1), "^m:6 Extension not supported: ARB_shadow\n$");
}

TEST_F(ErrorReportDeathTest, FailedAssertionsAreFatal) {
  EXPECT_EXIT(assertTrue(false, "archive/vkd", 10), testing::ExitedWithCode(1),
              "^archive/vkd:10 assertion failed\n$");
  EXPECT_EXIT(assertNotNull(nullptr, "archive/vkd", 11), testing::ExitedWithCode(1),
              "^archive/vkd:11 assertion failed\n$");
}

TEST(CatchingFatalReports, AFatalReportEndsTheStepNotTheProcess) {
  int reached = 0;
  testing::internal::CaptureStderr();
  const std::optional<FatalReport> caught = catchFatalReports([&] {
    reportError("m", 1, "not fatal", false);  // shown, and the step goes on
    ++reached;
    reportErrorText("engine/VertexProgram", 7, "CG error", "0:3(1): error: x", true);
    ++reached;
  });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "m:1 not fatal\n");
  EXPECT_EQ(reached, 1);
  ASSERT_TRUE(caught);
  EXPECT_EQ(caught->text, "engine/VertexProgram:7 CG error: 0:3(1): error: x");
  EXPECT_EQ(caught->message, "CG error: 0:3(1): error: x");

  // Nested steps: the innermost takes the report, the outer one finishes.
  std::optional<FatalReport> inner;
  EXPECT_FALSE(catchFatalReports([&] { inner = catchFatalReports([] { assertTrue(false, "a", 2); }); }));
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->message, "assertion failed");
  EXPECT_FALSE(catchFatalReports([] {}));
  // Outside every step a fatal report ends the process again.
  EXPECT_EXIT(reportErrorValue("m", 5, "v", 17, true), testing::ExitedWithCode(1), "^m:5 v: 17\n$");
}

TEST(FramebufferStatus, NamesEveryStatusOfTheTable) {
  EXPECT_STREQ(framebufferStatusName(0x8CD6), "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CD7), "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CD8), "GL_FRAMEBUFFER_INCOMPLETE_DUPLICATE_ATTACHMENT_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CD9), "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CDA), "GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CDB), "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CDC), "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CDD), "GL_FRAMEBUFFER_UNSUPPORTED_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CDE), "GL_FRAMEBUFFER_STATUS_ERROR_EXT");
  EXPECT_STREQ(framebufferStatusName(0x8CD5 - 1), "Unknown error");
  EXPECT_STREQ(framebufferStatusName(0x8CDF), "Unknown error");
}

}  // namespace
