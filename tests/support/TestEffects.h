#pragma once
// Small effects and data the effect tests share: a source effect that draws what the test
// gives it, and the sample demo's shader files for a working directory.

#include <epoxy/gl.h>

#include <functional>
#include <string>
#include <utility>

#include "demoSystem/Effect.h"

class WorkingDirectory;

// A source for the post-processing effects: draws `draw` in painter's order (depth test off
// while it draws) over whatever matrices the caller set, identity inside a render target.
class DrawSource : public Effect {
 public:
  explicit DrawSource(std::function<void()> draw, const std::string& name = "src")
      : Effect(name), draw(std::move(draw)) {}
  void render(uint32_t) override {
    glDisable(GL_DEPTH_TEST);
    draw();
    glEnable(GL_DEPTH_TEST);
  }
  std::function<void()> draw;
};

// A flat quad over (x0, y0)–(x1, y1) in fractions of the target, bottom-up, under identity
// matrices; the colour goes back to white.
void fillRect(float x0, float y0, float x1, float y1, float r, float g, float b);

// Copies every file of the sample demo's data/shaders into `dir`/data/shaders, where the
// effects load them from.
void writeSampleShaders(const WorkingDirectory& dir);
