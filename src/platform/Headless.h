#pragma once
// Video without a screen. On Linux SDL's offscreen driver renders through EGL on the GPU
// driver (or llvmpipe) with no X server or compositor, and never shows anything. Windows has
// no EGL for that driver: there a headless run opens its windows hidden, and each context
// draws into a framebuffer object of its window's size, which stands for the screen
// (screenFramebuffer in Window.h) and gives the same frames.

namespace platform {

// Selects the offscreen driver for every later SDL video start and gives SDL a private
// runtime directory when XDG_RUNTIME_DIR is unset, so it starts without warnings. Call
// before the first window.
void useHeadlessVideo();

// Whether windows made from now on are hidden and draw into a framebuffer object standing for
// their screen. On by useHeadlessVideo where the system has no offscreen driver; the tests
// turn it on elsewhere to draw the same frames both ways.
void useFramebufferScreen(bool on);
bool framebufferScreen();

// True when the running SDL video driver draws on a real screen (not "offscreen" or
// "dummy"); false when video is not running.
bool videoDriverHasScreen();

}  // namespace platform
