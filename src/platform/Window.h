#pragma once
// Top-level windows with an OpenGL compatibility context: the one interface behind which the
// windowing system sits. The demo window, the settings dialog, the driver probe, the tests
// and the benchmarks all open their windows through it; a headless run is the same code on
// the offscreen video driver (see Headless.h). No platform type appears here: windows and
// contexts are opaque handles.

#include <string>

namespace platform {

struct Window;
struct GlContext;

// [SECTION] Video

// Starts the video subsystem; calls nest, and each successful start needs one stopVideo.
bool startVideo();
void stopVideo();
bool videoStarted();
// The windowing system's text for the last failure.
const char* lastError();

// [SECTION] Windows and contexts

// The framebuffer every later window gets: RGBA with `colourBits` (>= 24: 8 per channel,
// otherwise 5) and some alpha, depth 24, stencil 8, double buffered, a compatibility-profile
// context, and `samples` samples per pixel (0: no multisampling). The windowing system fixes
// it when the window is made, so it is set before each window.
bool setFramebufferFormat(int colourBits, int samples);

enum WindowFlags : unsigned {
  kWindowHidden = 1,      // not shown until showWindow
  kWindowFullscreen = 2,  // at the display mode that setFullscreenMode chose
  kWindowBorderless = 4,
  kWindowCentred = 8,     // centred on the screen rather than at the origin
};

// A window for GL drawing at the screen's origin; null on failure (see lastError).
Window* createWindow(const char* title, int width, int height, unsigned flags);
void destroyWindow(Window* window);
// A new context on the window, left current; its GL entry points that drawing calls between
// glBegin and glEnd are looked up already (a lookup there fails under Wine).
GlContext* createContext(Window* window);
void deleteContext(GlContext* context);
// Makes the context current on the window; a null window releases the current context.
bool makeCurrent(Window* window, GlContext* context);
bool isCurrent(const GlContext* context);
void swapWindow(Window* window);
void setSwapInterval(int interval);
void showWindow(Window* window);  // shown and raised

// What the window is, for the code that checks it was made as asked.
struct WindowState {
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;
  int drawableWidth = 0, drawableHeight = 0;
  bool opengl = false, shown = false, fullscreen = false, borderless = false;
};
WindowState windowState(Window* window);

// [SECTION] Display modes and the cursor

struct DisplayMode {
  int width = 0, height = 0;
};
// The closest mode the screen offers to that size (and colour depth); false when none.
bool closestDisplayMode(int width, int height, int colourBits, DisplayMode* mode);
DisplayMode desktopDisplayMode();
DisplayMode currentDisplayMode();
// Switches the fullscreen window to the closest mode of that size.
void setFullscreenMode(Window* window, int width, int height, int colourBits);
void leaveFullscreen(Window* window);
void showCursor(bool shown);

// Can a window and context with that many samples per pixel be made? (A driver may round the
// count up, which still counts.)
bool canCreateMultisampled(int colourBits, int samples);

void sleepMs(int ms);

// [SECTION] The screen's framebuffer

// The framebuffer that stands for the window in the current context, for the code that binds
// "the screen" again after drawing into a target: 0, the window's own, except where a
// headless run has no offscreen video driver (Windows) and a hidden window draws into a
// framebuffer object of its size instead (see useFramebufferScreen in Headless.h).
unsigned screenFramebuffer();
// The colour buffer the screen's pixels are read back from: GL_BACK, or the object's colour
// attachment.
unsigned screenReadBuffer();

}  // namespace platform
