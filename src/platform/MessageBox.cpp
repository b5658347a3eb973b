#include "platform/MessageBox.h"

#include <SDL2/SDL.h>

#include <atomic>

namespace platform {

namespace {
std::atomic<bool> gDisplayAvailable{false};

Uint32 flagsFor(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error: return SDL_MESSAGEBOX_ERROR;
    case BoxIcon::Warning: return SDL_MESSAGEBOX_WARNING;
    case BoxIcon::Information: return SDL_MESSAGEBOX_INFORMATION;
    case BoxIcon::None: break;
  }
  return 0;
}
}  // namespace

void setDisplayAvailable(bool available) { gDisplayAvailable = available; }
bool displayAvailable() { return gDisplayAvailable; }

void showMessageBox(const char* caption, const char* text, BoxIcon icon) {
  if (!gDisplayAvailable) return;
  SDL_ShowSimpleMessageBox(flagsFor(icon), caption, text, nullptr);
}

bool askYesNo(const char* caption, const char* text, bool fallback) {
  if (!gDisplayAvailable) return fallback;
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
  };
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_WARNING;
  data.title = caption;
  data.message = text;
  data.numbuttons = 2;
  data.buttons = buttons;
  int chosen = -1;
  if (SDL_ShowMessageBox(&data, &chosen) != 0) return fallback;
  return chosen == 1;
}

}  // namespace platform
