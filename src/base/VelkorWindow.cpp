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
// The windowing system's reason goes to stderr only: the box keeps the program's own text.
void reportWindowFailure(const char* text, platform::BoxIcon icon) {
  std::fprintf(stderr, "%s (%s)\n", text, platform::lastError());
  std::fflush(stderr);
  platform::showMessageBox("error", text, icon);
}

char* copyText(const char* text) {
  const size_t length = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(length));
  std::memcpy(copy, text, length);
  return copy;
}

// The fullscreen display mode for the size: the driver must offer exactly that size. (The
// offscreen driver lists one 0×0 mode, meaning any size, so there every size is offered.)
bool findDisplayMode(int width, int height, int colourBits) {
  platform::DisplayMode mode;
  if (!platform::closestDisplayMode(width, height, colourBits, &mode)) return false;
  return mode.width == width && mode.height == height;
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
  if (!platform::startVideo()) return false;
  videoStarted_ = true;
  return true;
}

// The drawable and context steps after the window exists; each failure is fatal, after what
// exists has been released.
bool VelkorWindow::makeContext() {
  const platform::WindowState state = platform::windowState(window_);
  if (state.drawableWidth <= 0 || state.drawableHeight <= 0) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not get DC", true);
  }
  if (!state.opengl) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not set pixel format", true);
  }
  glContext_ = platform::createContext(window_);
  if (!glContext_) {
    std::fprintf(stderr, "%s\n", platform::lastError());
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not create GL context", true);
  }
  if (!platform::makeCurrent(window_, glContext_)) {
    std::fprintf(stderr, "%s\n", platform::lastError());
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not activate GL context", true);
  }
  return true;
}

void VelkorWindow::probeMultisampleModes() {
  static constexpr int kSamples[4] = {2, 4, 6, 8};
  for (int slot = 0; slot < 4; ++slot) {
    const bool ok = platform::canCreateMultisampled(colourBits_, kSamples[slot]);
    multisampleFormats[slot] = ok ? kSamples[slot] : -1;
    fsaaSupported[slot] = ok;
  }
  platform::makeCurrent(window_, glContext_);
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
  if (!platform::setFramebufferFormat(colourBits, 0)) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not find suitable pixel format", true);
  }
  window_ = platform::createWindow(className_, width, height, platform::kWindowHidden);
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
                          bool fullscreen, WindowProc proc, int fsaa, platform::Window* parent) {
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

  unsigned flags = platform::kWindowHidden;
  if (fullscreen) {
    if (displayModeQuery(width, height, colourBits)) {
      flags |= platform::kWindowFullscreen;
    } else {
      // Nobody can answer without a display: a headless run goes on windowed.
      if (!platform::askYesNo("Error", "requested fullscreen mode not supported, run windowed?", true)) {
        destroy();
        return false;
      }
      fullscreen = false;
      flags |= platform::kWindowBorderless;
    }
  }

  // The windowing system fixes the framebuffer configuration with the window, so the FSAA mode is settled
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
  if (!platform::setFramebufferFormat(colourBits, samples)) {
    destroy();
    reportError(DE_HERE, "DemoEngine: Could not find suitable pixel format", true);
  }

  // Top-level GL windows have no child-of relation here; the parent only says nothing is
  // above this window.
  (void)parent;
  window_ = platform::createWindow(className_, width, height, flags);
  if (!window_) {
    destroy();
    reportWindowFailure("window creation error", platform::BoxIcon::Warning);
    return false;
  }
  if (flags & platform::kWindowFullscreen) {
    platform::setFullscreenMode(window_, width, height, colourBits);
    fullscreen_ = true;  // from here on teardown restores the desktop mode
  }
  makeContext();

  fullscreen_ = fullscreen;
  hasScreen_ = platform::videoDriverHasScreen();
  platform::showWindow(window_);
  return true;
}

void VelkorWindow::destroy() {
  if (fullscreen_) {
    platform::leaveFullscreen(window_);
    platform::showCursor(true);
    fullscreen_ = false;
  }
  if (glContext_) {
    if (!platform::makeCurrent(nullptr, nullptr))
      reportError(DE_HERE, "DemoEngine: could not reset device context", true);
    platform::deleteContext(glContext_);
    glContext_ = nullptr;
  }
  if (window_) {
    platform::destroyWindow(window_);
    window_ = nullptr;
  }
  if (videoStarted_) {
    platform::stopVideo();
    videoStarted_ = false;
  }
  std::free(className_);
  className_ = nullptr;
}

void VelkorWindow::swapBuffers() {
  if (!window_) return;
  platform::swapWindow(window_);
  // Without a screen nothing waits for a frame to be shown, so the driver would queue frames
  // without bound while the clock runs on, and every queued frame would be drawn later, at
  // teardown. Finishing each frame paces the loop the way a real swap does.
  if (!hasScreen_) glFinish();
}

MessageResult VelkorWindow::dispatch(const platform::WindowMessage& message) {
  return proc_ ? proc_(this, message) : MessageResult::Default;
}
