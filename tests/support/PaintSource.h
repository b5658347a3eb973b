#pragma once
// A source effect for the post-processing tests: clears what it draws into to a background
// colour and paints flat rectangles over the unit square (y from the bottom, as GL counts),
// so a test knows every texel of the picture the effect under test distorts.

#include <epoxy/gl.h>

#include <array>
#include <vector>

#include "demoSystem/Effect.h"
#include "effects/ScreenQuad.h"

class PaintSource : public Effect {
 public:
  using Rgba = std::array<float, 4>;
  struct Patch {
    float x0, y0, x1, y1;
    Rgba colour;
  };

  explicit PaintSource(std::vector<Patch> patches = {}, Rgba background = {0, 0, 0, 1})
      : Effect("paint"), patches(std::move(patches)), background(background) {}

  void start(uint32_t time) override {
    Effect::start(time);
    ++starts;
  }
  void update(uint32_t time) override {
    Effect::update(time);
    ++updates;
  }
  void render(uint32_t) override {
    glClearColor(background[0], background[1], background[2], background[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    setOrthoUnit();
    glDisable(GL_DEPTH_TEST);
    glBegin(GL_QUADS);
    for (const Patch& p : patches) {
      glColor4f(p.colour[0], p.colour[1], p.colour[2], p.colour[3]);
      glVertex2f(p.x0, p.y0);
      glVertex2f(p.x1, p.y0);
      glVertex2f(p.x1, p.y1);
      glVertex2f(p.x0, p.y1);
    }
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);
  }

  std::vector<Patch> patches;
  Rgba background;
  int starts = 0;
  int updates = 0;
};
