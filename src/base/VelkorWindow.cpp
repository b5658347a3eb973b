#include "base/VelkorWindow.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Error.h"
#include "platform/Headless.h"
#include "platform/MessageBox.h"

int multisampleFormats[4] = {-1, -1, -1, -1};
bool fsaaSupported[4] = {false, false, false, false};
bool extensionsLoaded = false;

namespace {

constexpr const char* kProbeClassName = "VelkorConfigWindow";

// A box for the failures that are handed back to the caller rather than ending the process.
// The SDL reason goes to stderr only: the box keeps the program's own short text.
void reportWindowFailure(const char* text, platform::BoxIcon icon) {
  std::fprintf(stderr, "%s (%s)\n", text, SDL_GetError());
  std::fflush(stderr);
  platform::showMessageBox("error", text, icon);
}

char* copyText(const char* text) {
  const size_t length = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(length));
  std::memcpy(copy, text, length);
  return copy;
}

// SDL picks the framebuffer configuration when the window is created, so what a pixel
// format descriptor said is said here, before every window: RGBA with some alpha, depth 24,
// stencil 8, double buffered, a compatibility context, and the sample count (0 for none).
bool setPixelFormat(int colourBits, int samples) {
  const int channelBits = colourBits >= 24 ? 8 : 5;
  SDL_GL_ResetAttributes();
  bool ok = SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 1) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples) == 0;
  return ok;
}

// A mode counts as supported when a window and context with that sample request can be
// made: a driver may round the count up (llvmpipe gives 4 for 2), which is still FSAA.
bool canCreateMultisampled(int colourBits, int samples) {
  if (!setPixelFormat(colourBits, samples)) return false;
  SDL_Window* window = SDL_CreateWindow(kProbeClassName, 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return false;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  const bool ok = context != nullptr;
  if (context) SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  return ok;
}

// The fullscreen display mode for the size: the driver must offer exactly that size. (The
// offscreen driver lists one 0×0 mode, meaning any size, so there every size is offered.)
bool findDisplayMode(int width, int height, int colourBits, SDL_DisplayMode* mode) {
  SDL_DisplayMode wanted{};
  wanted.w = width;
  wanted.h = height;
  wanted.format = colourBits >= 24 ? SDL_PIXELFORMAT_RGB888 : 0;
  if (!SDL_GetClosestDisplayMode(0, &wanted, mode)) return false;
  return mode->w == width && mode->h == height;
}

}  // namespace

VelkorWindow::DisplayModeQuery VelkorWindow::displayModeQuery = findDisplayMode;

int fsaaSlot(int mode) {
  switch (mode) {
    case 2: return 0;
    case 4: return 1;
    case 6: return 2;
    case 8: return 3;
    default: return -1;
  }
}

VelkorWindow::~VelkorWindow() {
  if (glContext_ || window_ || videoStarted_ || className_) destroy();
}

bool VelkorWindow::startVideo() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  videoStarted_ = true;
  return true;
}

// The drawable and context steps after the window exists; each failure is fatal, after what
// exists has been released.
bool VelkorWindow::makeContext() {
  int drawableWidth = 0, drawableHeight = 0;
  SDL_GL_GetDrawableSize(window_, &drawableWidth, &drawableHeight);
  if (drawableWidth <= 0 || drawableHeight <= 0) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not get DC", true);
  }
  if (!(SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL)) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not set pixel format", true);
  }
  glContext_ = SDL_GL_CreateContext(window_);
  if (!glContext_) {
    std::fprintf(stderr, "%s\n", SDL_GetError());
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not create GL context", true);
  }
  if (SDL_GL_MakeCurrent(window_, glContext_) != 0) {
    std::fprintf(stderr, "%s\n", SDL_GetError());
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not activate GL context", true);
  }
  return true;
}

void VelkorWindow::probeMultisampleModes() {
  static constexpr int kSamples[4] = {2, 4, 6, 8};
  for (int slot = 0; slot < 4; ++slot) {
    const bool ok = canCreateMultisampled(colourBits_, kSamples[slot]);
    multisampleFormats[slot] = ok ? kSamples[slot] : -1;
    fsaaSupported[slot] = ok;
  }
  SDL_GL_MakeCurrent(window_, glContext_);
}

void VelkorWindow::createProbe(int width, int height, int colourBits, WindowProc proc) {
  className_ = copyText(kProbeClassName);
  colourBits_ = colourBits;
  width_ = width;
  height_ = height;
  proc_ = proc;
  if (!startVideo()) {
    reportWindowFailure("could not register window class", platform::BoxIcon::Information);
    destroy();
    return;
  }
  if (!setPixelFormat(colourBits, 0)) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not find suitable pixel format", true);
  }
  window_ = SDL_CreateWindow(className_, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window_) {
    destroy();
    reportWindowFailure("window creation error", platform::BoxIcon::Warning);
    return;
  }
  makeContext();
  if (!extensionsLoaded) {
    // epoxy resolves entry points on first use; what can fail is a context that answers no
    // GL version at all.
    if (epoxy_gl_version() == 0) {
      destroy();
      reportError(DE_HERE, "Could not init GLee", true);
    }
    extensionsLoaded = true;
  }
  probeMultisampleModes();
  destroy();
}

bool VelkorWindow::create(const char* className, int width, int height, int colourBits,
                          bool fullscreen, WindowProc proc, int fsaa, SDL_Window* parent) {
  colourBits_ = colourBits;
  width_ = width;
  height_ = height;
  proc_ = proc;
  className_ = copyText(className ? className : "");
  if (!startVideo()) {
    reportWindowFailure("could not register window class", platform::BoxIcon::Information);
    destroy();
    return false;
  }

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  SDL_DisplayMode mode{};
  if (fullscreen) {
    if (displayModeQuery(width, height, colourBits, &mode)) {
      flags |= SDL_WINDOW_FULLSCREEN;
    } else {
      // Nobody can answer without a display: a headless run goes on windowed.
      if (!platform::askYesNo("Error", "requested fullscreen mode not supported, run windowed?", true)) {
        destroy();
        return false;
      }
      fullscreen = false;
      flags |= SDL_WINDOW_BORDERLESS;
    }
  }

  // SDL fixes the framebuffer configuration with the window, so the FSAA mode is settled
  // before the window rather than after it.
  int samples = 0;
  if (fsaa != 0) {
    const int slot = fsaaSlot(fsaa);
    if (slot < 0) {
      destroy();
      reportError(DE_HERE, "Unsupported FSAA mode", true);
    }
    samples = multisampleFormats[slot] > 0 ? multisampleFormats[slot] : 0;
  }
  fsaaMode = fsaa;
  if (!setPixelFormat(colourBits, samples)) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not find suitable pixel format", true);
  }

  // SDL has no child-of relation for top-level GL windows; the parent only says nothing is
  // above this window.
  (void)parent;
  window_ = SDL_CreateWindow(className_, 0, 0, width, height, flags);
  if (!window_) {
    destroy();
    reportWindowFailure("window creation error", platform::BoxIcon::Warning);
    return false;
  }
  if (flags & SDL_WINDOW_FULLSCREEN) {
    SDL_SetWindowDisplayMode(window_, &mode);
    fullscreen_ = true;  // from here on teardown restores the desktop mode
  }
  makeContext();

  fullscreen_ = fullscreen;
  hasScreen_ = platform::videoDriverHasScreen();
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  return true;
}

void VelkorWindow::destroy() {
  if (fullscreen_) {
    if (window_) SDL_SetWindowFullscreen(window_, 0);
    SDL_ShowCursor(SDL_ENABLE);
    fullscreen_ = false;
  }
  if (glContext_) {
    if (SDL_GL_MakeCurrent(window_, nullptr) != 0)
      reportError(DE_HERE, "DemoEngine: could not reset device context", true);
    SDL_GL_DeleteContext(glContext_);
    glContext_ = nullptr;
  }
  if (window_) {
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  if (videoStarted_) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted_ = false;
  }
  std::free(className_);
  className_ = nullptr;
}

void VelkorWindow::swapBuffers() {
  if (!window_) return;
  SDL_GL_SwapWindow(window_);
  // Without a screen nothing waits for a frame to be shown, so the driver would queue frames
  // without bound while the clock runs on, and every queued frame would be drawn later, at
  // teardown. Finishing each frame paces the loop the way a real swap does.
  if (!hasScreen_) glFinish();
}

MessageResult VelkorWindow::dispatch(const platform::WindowMessage& message) {
  return proc_ ? proc_(this, message) : MessageResult::Default;
}
