// A new context comes with GL's initial per-vertex state, although its entry points for
// texture coordinates of several units are looked up (by calling them) as it is made.

#include <gtest/gtest.h>

#include <array>

#include "support/GlTestContext.h"

namespace {

TEST(Window, NewContextKeepsTheInitialTextureCoordinates) {
  GlTestContext gl;
  ASSERT_TRUE(gl.ok());
  GLint unit = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  EXPECT_EQ(unit, GL_TEXTURE0);
  for (const GLenum each : {GL_TEXTURE0, GL_TEXTURE1}) {
    glActiveTexture(each);
    std::array<GLfloat, 4> coords{-1, -1, -1, -1};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coords.data());
    EXPECT_EQ(coords, (std::array<GLfloat, 4>{0, 0, 0, 1})) << "unit " << each - GL_TEXTURE0;
  }
  // Set between glBegin and glEnd, as the screen quads do, the coordinates reach the context.
  glBegin(GL_POINTS);
  glMultiTexCoord2f(GL_TEXTURE1, 0.25f, 0.75f);
  glEnd();
  std::array<GLfloat, 4> coords{};
  glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coords.data());
  EXPECT_EQ(coords, (std::array<GLfloat, 4>{0.25f, 0.75f, 0, 1}));
  glActiveTexture(GL_TEXTURE0);
}

}  // namespace
