#include "platform/Headless.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

void ensureRuntimeDirectory() {
  const char* existing = std::getenv("XDG_RUNTIME_DIR");
  if (existing && *existing) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/demoengine-XXXXXX";
  // mkdtemp creates it 0700, which is what SDL and the EGL loader insist on for a runtime
  // directory. It is left behind: it is empty and the system's temp cleaning owns it.
  if (mkdtemp(pattern.data())) setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
}

}  // namespace

void useHeadlessVideo() {
  ensureRuntimeDirectory();
  // The environment variable rather than the hint: it also reaches test helpers and child
  // processes, and it overrides whatever the caller's shell chose.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
}

bool videoDriverHasScreen() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return false;
  return std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0 &&
         std::strcmp(driver, "evdev") != 0;
}

}  // namespace platform
