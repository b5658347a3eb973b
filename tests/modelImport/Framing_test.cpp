// The converter's geometry: a framed box fits the 4:3 picture with its margin and no more,
// lenses and fall-off turn into the engine's terms as worked out by hand.

#include "modelImport/Framing.h"

#include "engine/SceneLoaderVKG.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

using modelimport::Box;
using modelimport::View;

Box boxOf(glm::vec3 low, glm::vec3 high) {
  Box b;
  b.add(low);
  b.add(high);
  return b;
}

TEST(Framing, AFramedBoxFillsThePictureUpToItsMargin) {
  const float e = 20.0f * modelimport::kPi / 180.0f;
  const struct {
    Box box;
    glm::vec3 from;
  } cases[] = {
      {boxOf({-1, -1, -1}, {1, 1, 1}), {0, std::sin(e), std::cos(e)}},
      {boxOf({0, 0, 0}, {10, 0.5f, 2}), {0, std::sin(e), std::cos(e)}},  // wide and low
      {boxOf({-0.2f, 0, -0.2f}, {0.2f, 8, 0.2f}), {1, 0.3f, 0.5f}},      // a pole, seen from aside
  };
  for (const auto& c : cases) {
    const View view = modelimport::frameBox(c.box, c.from, 45.0f);
    const glm::mat4 m = modelimport::viewMatrix(view);
    float widest = 0.0f;
    for (const glm::vec3& corner : c.box.corners()) {
      const glm::vec4 p = m * glm::vec4(corner, 1.0f);
      ASSERT_GT(p.w, 0.0f);
      const glm::vec3 ndc = glm::vec3(p) / p.w;
      EXPECT_LE(std::fabs(ndc.x), 0.9f + 1e-4f);
      EXPECT_LE(std::fabs(ndc.y), 0.9f + 1e-4f);
      EXPECT_GT(ndc.z, -1.0f);  // between the planes
      EXPECT_LT(ndc.z, 1.0f);
      widest = std::max({widest, std::fabs(ndc.x), std::fabs(ndc.y)});
    }
    EXPECT_NEAR(widest, 0.9f, 1e-3f);  // as near as the margin allows
  }
  // A cube takes a good part of the picture.
  EXPECT_GT(modelimport::pictureShare(modelimport::frameBox(cases[0].box, cases[0].from, 45.0f), cases[0].box), 0.3f);
}

TEST(Framing, TheFileAngleGivesTheLoaderTheVerticalAngleBack) {
  for (const float degrees : {10.0f, 40.1f, 45.0f, 90.0f, 120.0f}) {
    const float vertical = degrees * modelimport::kPi / 180.0f;
    const float file = modelimport::fileFovFromVertical(vertical);
    // What the scene loader makes of it.
    EXPECT_NEAR(SceneLoaderVKG::verticalFovDegrees(file), degrees, 1e-3) << degrees;
  }
  // 90° across a square picture is 90° high; across 4:3 it is 2·atan(0.75) = 73.74° high.
  EXPECT_NEAR(modelimport::verticalFromHorizontal(modelimport::kPi / 2, 1.0f), modelimport::kPi / 2, 1e-6);
  EXPECT_NEAR(modelimport::verticalFromHorizontal(modelimport::kPi / 2, 4.0f / 3.0f), 1.2870022f, 1e-6);
}

TEST(Framing, FallOffInTheEnginesTerms) {
  const struct {
    float c, l, q, distance;
    float brightness, range;
    bool approximated;
  } cases[] = {
      {0, 0, 0, 5, 1, 0, false},           // the importer's "none"
      {1, 0, 0, 5, 1, 0, false},           // constant only
      {1, 0.02f, 0, 5, 1, 100, false},     // 1 / (1 + 0.02 d) = 1 / (1 + 2d / 100)
      {2, 0.1f, 0, 5, 0.5f, 40, false},    // (1/2) / (1 + 0.05 d)
      {1, 0, 0.01f, 10, 0.5f, 0, true},    // 1 / (1 + 0.01 · 100) at the model
      {0, 0, 1, 2, 0.25f, 0, true},        // inverse square at 2 units
      {0, 0.5f, 0, 4, 0.5f, 0, true},      // linear alone: 1 / (0.5 · 4)
  };
  for (const auto& c : cases) {
    const modelimport::Falloff f = modelimport::engineFalloff(c.c, c.l, c.q, c.distance);
    EXPECT_NEAR(f.brightness, c.brightness, 1e-6) << c.c << " " << c.l << " " << c.q;
    EXPECT_NEAR(f.range, c.range, 1e-4) << c.c << " " << c.l << " " << c.q;
    EXPECT_EQ(f.approximated, c.approximated) << c.c << " " << c.l << " " << c.q;
  }
}

TEST(Framing, AnOrthographicViewKeepsItsHeightAtTheFocus) {
  const View view = modelimport::perspectiveForOrthographic({0, 0, 10}, {0, 0, -1}, 2.0f, 10.0f, 30.0f);
  EXPECT_EQ(view.target, glm::vec3(0, 0, 0));
  // Seen from there with 30° the focus plane is 2 units high on either side.
  EXPECT_NEAR(glm::length(view.eye - view.target) * std::tan(15.0f * modelimport::kPi / 180.0f), 2.0f, 1e-5);
  EXPECT_NEAR(view.eye.z, 2.0f / std::tan(15.0f * modelimport::kPi / 180.0f), 1e-4);
}

TEST(Framing, SpotExponentHalvesMidwayBetweenTheCones) {
  EXPECT_EQ(modelimport::spotExponent(0.5f, 0.5f), 0.0f);
  const float e = modelimport::spotExponent(0.2f, 0.6f);
  EXPECT_NEAR(std::pow(std::cos(0.4f), e), 0.5f, 1e-5);
}

TEST(Framing, ABoxBehindTheEyeOrOffToTheSideIsNotSeen) {
  View view;
  view.eye = {0, 0, 0};
  view.target = {0, 0, -1};
  view.nearPlane = 0.1f;
  view.farPlane = 100.0f;
  EXPECT_EQ(modelimport::pictureShare(view, boxOf({-1, -1, 5}, {1, 1, 7})), 0.0f);    // behind
  EXPECT_EQ(modelimport::pictureShare(view, boxOf({50, -1, -7}, {52, 1, -5})), 0.0f);  // to the right
  EXPECT_EQ(modelimport::pictureShare(view, boxOf({-1, -1, -300}, {1, 1, -200})), 0.0f);  // beyond far
  // A box that is the picture's full height and width at its depth.
  const float h = 10.0f * std::tan(22.5f * modelimport::kPi / 180.0f);
  EXPECT_NEAR(modelimport::pictureShare(view, boxOf({-h * 4 / 3, -h, -10}, {h * 4 / 3, h, -10})), 1.0f, 1e-4);
  EXPECT_NEAR(modelimport::pictureShare(view, boxOf({0, 0, -10}, {h * 4 / 3, h, -10})), 0.25f, 1e-4);
}

}  // namespace
