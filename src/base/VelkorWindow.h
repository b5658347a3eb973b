#pragma once
// The program's one top-level window with its GL context: a hidden probe that finds which
// multisample modes the driver can give, and the demo window proper. The windowing system
// itself is behind platform/Window.h.

#include "base/Display.h"  // fsaaMode, set by create()
#include "platform/Events.h"
#include "platform/Window.h"

class VelkorWindow;

enum class MessageResult { Handled, Default };

// The window procedure: the caller decides what each message means (the launcher's keys).
using WindowProc = MessageResult (*)(VelkorWindow* window, const platform::WindowMessage& message);

// Multisample tables for 2, 4, 6 and 8 samples (index 0..3), filled by createProbe. A format
// is the sample count to request, -1 when the driver refused it.
extern int multisampleFormats[4];
extern bool fsaaSupported[4];
// The GL entry points are resolved once per process; epoxy does it lazily, this records that
// a working context has been seen.
extern bool extensionsLoaded;

// Slot of a FSAA mode in the tables: 2→0, 4→1, 6→2, 8→3; -1 for anything else.
int fsaaSlot(int mode);

class VelkorWindow {
 public:
  VelkorWindow() = default;
  ~VelkorWindow();
  VelkorWindow(const VelkorWindow&) = delete;
  VelkorWindow& operator=(const VelkorWindow&) = delete;

  // Hidden window "VelkorConfigWindow": fills the multisample tables, then tears down.
  void createProbe(int width, int height, int colourBits, WindowProc proc);

  // Makes and shows the demo window with a current GL compatibility context. False when it
  // gave up without a fatal report (no video, window refused, fullscreen declined).
  bool create(const char* className, int width, int height, int colourBits, bool fullscreen,
              WindowProc proc, int fsaa, platform::Window* parent);

  // Releases context, window and video in that order and restores the display mode.
  void destroy();

  void swapBuffers();

  // Hands a message to the window procedure given at creation.
  MessageResult dispatch(const platform::WindowMessage& message);

  // How a fullscreen size is matched to a display mode: true when the screen offers exactly
  // that size. Replaceable so that a refused mode can be tested on drivers that take any size.
  using DisplayModeQuery = bool (*)(int width, int height, int colourBits);
  static DisplayModeQuery displayModeQuery;

  bool isFullscreen() const { return fullscreen_; }
  platform::Window* handle() const { return window_; }
  platform::GlContext* glContext() const { return glContext_; }
  const char* className() const { return className_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  bool startVideo();
  bool makeContext();
  void probeMultisampleModes();

  char* className_ = nullptr;
  bool fullscreen_ = false;
  bool videoStarted_ = false;  // stands for the registered window class
  bool hasScreen_ = true;      // false on the offscreen driver: swaps then finish the frame
  platform::GlContext* glContext_ = nullptr;
  platform::Window* window_ = nullptr;
  int colourBits_ = 0;
  int width_ = 0;
  int height_ = 0;
  WindowProc proc_ = nullptr;
};
