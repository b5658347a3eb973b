#pragma once
// Video without a screen: SDL's offscreen driver renders through EGL on the GPU driver (or
// llvmpipe) with no X server or compositor, and never shows anything.

namespace platform {

// Selects the offscreen driver for every later SDL video start and gives SDL a private
// runtime directory when XDG_RUNTIME_DIR is unset, so it starts without warnings. Call
// before the first window.
void useHeadlessVideo();

// True when the running SDL video driver draws on a real screen (not "offscreen" or
// "dummy"); false when video is not running.
bool videoDriverHasScreen();

}  // namespace platform
