#pragma once
// A hidden window with a GL compatibility context on SDL's offscreen driver (llvmpipe),
// for tests that draw and read pixels back. One per test fixture; the context is current
// on the calling thread while the object lives.

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Window.h"

class GlTestContext {
 public:
  explicit GlTestContext(int width = 64, int height = 64, int samples = 0);
  ~GlTestContext();
  GlTestContext(const GlTestContext&) = delete;
  GlTestContext& operator=(const GlTestContext&) = delete;

  bool ok() const { return context_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  platform::Window* window() const { return window_; }

  // RGBA8 of one pixel of the currently bound read framebuffer; (0,0) is bottom-left.
  std::array<uint8_t, 4> pixel(int x, int y) const;
  // The whole framebuffer, bottom row first.
  std::vector<uint8_t> pixels() const;

 private:
  int width_;
  int height_;
  platform::Window* window_ = nullptr;
  platform::GlContext* context_ = nullptr;
  bool videoStarted_ = false;
};
