#include "platform/Headless.h"

#include <SDL2/SDL.h>

#include <cstring>

namespace platform {

namespace {
bool gFramebufferScreen = false;
}  // namespace

void useFramebufferScreen(bool on) { gFramebufferScreen = on; }
bool framebufferScreen() { return gFramebufferScreen; }

bool videoDriverHasScreen() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || gFramebufferScreen) return false;
  return std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0 &&
         std::strcmp(driver, "evdev") != 0;
}

}  // namespace platform
