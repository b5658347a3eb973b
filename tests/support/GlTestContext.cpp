#include "support/GlTestContext.h"

#include <cstdlib>

GlTestContext::GlTestContext(int width, int height, int samples) : width_(width), height_(height) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  videoStarted_ = platform::startVideo();
  if (!videoStarted_) return;
  platform::setFramebufferFormat(32, samples);
  window_ = platform::createWindow("test", width, height, platform::kWindowHidden);
  if (!window_) return;
  context_ = platform::createContext(window_);
  if (context_) {
    platform::makeCurrent(window_, context_);
    glViewport(0, 0, width, height);
  }
}

GlTestContext::~GlTestContext() {
  if (context_) {
    platform::makeCurrent(nullptr, nullptr);
    platform::deleteContext(context_);
  }
  platform::destroyWindow(window_);
  if (videoStarted_) platform::stopVideo();
}

std::array<uint8_t, 4> GlTestContext::pixel(int x, int y) const {
  std::array<uint8_t, 4> p{};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
  return p;
}

std::vector<uint8_t> GlTestContext::pixels() const {
  std::vector<uint8_t> out(static_cast<size_t>(width_) * height_ * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}
