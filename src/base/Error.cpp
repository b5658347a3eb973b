#include "base/Error.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>

#include "platform/MessageBox.h"

namespace {

// snprintf never writes past the buffer; a line that does not fit is cut at 199 characters.
void show(const char* text, bool fatal) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  platform::showMessageBox("error", text, fatal ? platform::BoxIcon::Error : platform::BoxIcon::None);
  if (fatal) std::exit(1);
}

const char* orEmpty(const char* s) { return s ? s : ""; }

}  // namespace

void reportError(const char* sourceFile, int line, const char* message, bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s", orEmpty(sourceFile), line, orEmpty(message));
  show(text, fatal);
}

void reportErrorValue(const char* sourceFile, int line, const char* message, int value, bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s: %i", orEmpty(sourceFile), line, orEmpty(message), value);
  show(text, fatal);
}

void reportErrorText(const char* sourceFile, int line, const char* message, const char* detail,
                     bool fatal) {
  char text[kErrorTextSize];
  std::snprintf(text, sizeof text, "%s:%d %s: %s", orEmpty(sourceFile), line, orEmpty(message),
                orEmpty(detail));
  show(text, fatal);
}

void assertTrue(bool condition, const char* sourceFile, int line) {
  if (!condition) reportError(sourceFile, line, "assertion failed", true);
}

void assertNotNull(const void* pointer, const char* sourceFile, int line) {
  if (pointer == nullptr) reportError(sourceFile, line, "assertion failed", true);
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
