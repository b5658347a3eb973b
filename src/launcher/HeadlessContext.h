#pragma once
// A hidden window's context on the offscreen driver, current while the object lives: what
// the runs that build effects without showing them (--check, --types) draw in.

#include "platform/Headless.h"
#include "platform/Window.h"

class HeadlessContext {
 public:
  HeadlessContext(int width, int height) {
    platform::useHeadlessVideo();
    if (!platform::startVideo()) return;
    started_ = true;
    platform::setFramebufferFormat(32, 0);
    window_ = platform::createWindow("demoengine", width, height, platform::kWindowHidden);
    if (window_) context_ = platform::createContext(window_);
    if (context_ && !platform::makeCurrent(window_, context_)) {
      platform::deleteContext(context_);
      context_ = nullptr;
    }
  }
  ~HeadlessContext() {
    if (context_) {
      platform::makeCurrent(nullptr, nullptr);
      platform::deleteContext(context_);
    }
    if (window_) platform::destroyWindow(window_);
    if (started_) platform::stopVideo();
  }
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  bool ok() const { return context_ != nullptr; }

 private:
  bool started_ = false;
  platform::Window* window_ = nullptr;
  platform::GlContext* context_ = nullptr;
};
