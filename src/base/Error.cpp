#include "base/Error.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/vkd.h"
#include "platform/MessageBox.h"

namespace {

// Open catchFatalReports steps of this thread.
thread_local int catchingSteps = 0;

// What unwinds a step: never seen outside this file.
struct FatalReportUnwind {
  FatalReport report;
};

const char* orEmpty(const char* s) { return s ? s : ""; }

void reportArchiveFault(const char* sourceFile, int line) { assertTrue(false, sourceFile, line); }

// The data files are read below this layer; a caller's bug they find is reported here like
// any failed assertion (a box, a step of an authoring load abandoned). Whatever reports an
// error links this file, so the handler is in place before any data file is read.
[[maybe_unused]] const bool archiveFaultsReported = (setArchiveFaultHandler(reportArchiveFault), true);

// snprintf never writes past the buffer; a line that does not fit is cut at 199 characters.
// `message` and `detail` are passed on whole to a step that catches the report.
void show(const char* text, bool fatal, const char* message, const char* detail) {
  if (fatal && catchingSteps > 0) {
    std::string alone = orEmpty(message);
    if (detail) alone += std::string(": ") + detail;
    throw FatalReportUnwind{{text, std::move(alone)}};
  }
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  platform::showMessageBox("error", text, fatal ? platform::BoxIcon::Error : platform::BoxIcon::None);
  if (fatal) std::exit(1);
}

}  // namespace

void reportError(const char* sourceFile, int line, const char* message, bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s", orEmpty(sourceFile), line, orEmpty(message));
  show(text, fatal, message, nullptr);
}

void reportErrorValue(const char* sourceFile, int line, const char* message, int value, bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s: %i", orEmpty(sourceFile), line, orEmpty(message), value);
  show(text, fatal, message, std::to_string(value).c_str());
}

void reportErrorText(const char* sourceFile, int line, const char* message, const char* detail,
                     bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s: %s", orEmpty(sourceFile), line, orEmpty(message),
                orEmpty(detail));
  show(text, fatal, message, orEmpty(detail));
}

std::optional<FatalReport> catchFatalReports(const std::function<void()>& step) {
  ++catchingSteps;
  try {
    step();
  } catch (FatalReportUnwind& unwind) {
    --catchingSteps;
    return std::move(unwind.report);
  } catch (...) {
    --catchingSteps;
    throw;
  }
  --catchingSteps;
  return std::nullopt;
}

void assertTrue(bool condition, const char* sourceFile, int line) {
  if (!condition) reportError(sourceFile, line, "assertion failed", true);
}

void assertNotNull(const void* pointer, const char* sourceFile, int line) {
  if (pointer == nullptr) reportError(sourceFile, line, "assertion failed", true);
}

namespace {

const char* glErrorName(GLenum error) {
  switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "unknown GL error";
  }
}

}  // namespace

int drainGlErrors(const char* sourceFile, int line) {
  // One line per kind for the whole run: a keyed blend code that GL refuses would
  // otherwise repeat every frame.
  static bool seen[8] = {};
  int taken = 0;
  // GL keeps at most one flag per kind; the bound only guards against a lost context,
  // which reports an error on every call.
  for (; taken < 16; ++taken) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    const unsigned kind = error >= GL_INVALID_ENUM && error <= GL_INVALID_FRAMEBUFFER_OPERATION
                              ? error - GL_INVALID_ENUM : 7;
    if (seen[kind]) continue;
    seen[kind] = true;
    std::fprintf(stderr, "%s:%d GL error (not fatal, reported once): %s\n", orEmpty(sourceFile),
                 line, glErrorName(error));
    std::fflush(stderr);
  }
  return taken;
}

const char* framebufferStatusName(unsigned status) {
  switch (status) {
    case 0x8CD6: return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT";
    case 0x8CD7: return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT";
    case 0x8CD8: return "GL_FRAMEBUFFER_INCOMPLETE_DUPLICATE_ATTACHMENT_EXT";
    case 0x8CD9: return "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT";
    case 0x8CDA: return "GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT";
    case 0x8CDB: return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT";
    case 0x8CDC: return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT";
    case 0x8CDD: return "GL_FRAMEBUFFER_UNSUPPORTED_EXT";
    case 0x8CDE: return "GL_FRAMEBUFFER_STATUS_ERROR_EXT";
    default: return "Unknown error";
  }
}

void checkFramebufferStatus(const char* sourceFile, int line) {
  const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  if (status == GL_FRAMEBUFFER_COMPLETE_EXT) return;
  reportErrorText(sourceFile, line, "GL (FBO) error", framebufferStatusName(status), true);
}
