#include "platform/Headless.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace platform {

namespace {

std::string createdRuntimeDirectory;

// Only an empty directory goes: whatever SDL or the driver left in it is theirs to explain.
void removeRuntimeDirectory() { rmdir(createdRuntimeDirectory.c_str()); }

void ensureRuntimeDirectory() {
  const char* existing = std::getenv("XDG_RUNTIME_DIR");
  if (existing && *existing) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/demoengine-XXXXXX";
  // mkdtemp creates it 0700, which is what SDL and the EGL loader insist on for a runtime
  // directory.
  if (!mkdtemp(pattern.data())) return;
  setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
  if (createdRuntimeDirectory.empty()) std::atexit(removeRuntimeDirectory);
  createdRuntimeDirectory = pattern;
}

}  // namespace

void useHeadlessVideo() {
  ensureRuntimeDirectory();
  // The environment variable rather than the hint: it also reaches test helpers and child
  // processes, and it overrides whatever the caller's shell chose.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  // The way Windows draws a headless run, to compare its frames with this system's.
  const char* framebuffer = std::getenv("DEMOENGINE_FRAMEBUFFER_SCREEN");
  if (framebuffer && std::string(framebuffer) == "1") useFramebufferScreen(true);
}

}  // namespace platform
