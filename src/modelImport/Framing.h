#pragma once
// The geometry the converter works out for the engine: where a camera must stand to see a
// whole model, how a lens and a light's fall-off look in the engine's terms. Plain maths,
// no importer and no GL.
//
// The engine's cameras take a vertical field of view and a 4:3 picture, look from their
// position at a target with +y up, and a scene file stores the horizontal angle of that 4:3
// picture. Its lights are OpenGL lights with constant attenuation 1 and a linear one of
// 2 / range; a light with a target only drives the spot shadows.

#include <cmath>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

namespace modelimport {

constexpr float kEngineAspect = 4.0f / 3.0f;
constexpr float kPi = 3.14159265358979f;

struct Box {
  glm::vec3 min{1e30f};
  glm::vec3 max{-1e30f};

  bool empty() const { return min.x > max.x; }
  // Points with an infinite or undefined coordinate are left out.
  void add(glm::vec3 p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
    min = glm::min(min, p);
    max = glm::max(max, p);
  }
  glm::vec3 centre() const { return empty() ? glm::vec3(0.0f) : (min + max) * 0.5f; }
  glm::vec3 size() const { return empty() ? glm::vec3(0.0f) : max - min; }
  float largestSide() const;
  // Half the diagonal: every point of the box is within it of the centre.
  float radius() const { return glm::length(size()) * 0.5f; }
  std::vector<glm::vec3> corners() const;
};

// A camera as the engine places it.
struct View {
  glm::vec3 eye{0.0f};
  glm::vec3 target{0.0f, 0.0f, -1.0f};
  float fovY = 45.0f;  // degrees
  float nearPlane = 1.0f;
  float farPlane = 2000.0f;
};

// The whole vertical angle (radians) of a lens given by its whole horizontal angle and the
// picture's width / height.
float verticalFromHorizontal(float horizontal, float aspect);
// The angle a scene file stores (the horizontal one of a 4:3 picture, radians) for a
// vertical angle in radians: the loader turns it back into exactly that vertical angle.
float fileFovFromVertical(float vertical);

// The camera that sees the whole box from `direction` (pointing from the box towards the
// eye) with the vertical angle fovY (degrees) on a 4:3 picture: the nearest distance at
// which every corner is inside the picture with `margin` (a fraction of the half picture)
// to spare; near and far planes hug the box. A box with no extent is taken as a unit cube
// at its centre.
View frameBox(const Box& box, glm::vec3 direction, float fovY, float margin = 0.1f);

// Whether any part of the box can be inside the picture of the view (a 4:3 picture between
// its planes, +y up); false only when the whole box is outside one side of the view.
bool viewSeesBox(const View& view, const Box& box);
// The share of the picture (0..1) that the rectangle around the box's projected corners
// covers: 0 when the view cannot see the box, 1 when the eye is among its corners' depths.
float pictureShare(const View& view, const Box& box);
// The engine's projection and look-at for the view.
glm::mat4 viewMatrix(const View& view);

// Near and far planes for an eye looking along `direction` that keep the whole box between
// them (near never closer than far / 10000).
void planesForBox(const Box& box, glm::vec3 eye, glm::vec3 direction, View& view);

// A perspective camera with the vertical angle fovY (degrees) that shows what an
// orthographic view of half-height `halfHeight` from `eye` along `direction` shows on the
// plane `focus` units ahead: the eye moves back along the view until that plane's visible
// half-height is halfHeight.
View perspectiveForOrthographic(glm::vec3 eye, glm::vec3 direction, float halfHeight, float focus, float fovY);

// A light's fall-off 1 / (c + l·d + q·d²) in the engine's 1 / (1 + 2d / range), for a light
// `distance` units from what it lights: the brightness factor to fold into its colour and
// the range (0: no fall-off). Exact for a constant with a linear term (and for none at all,
// the importer's 0, 0, 0); with a quadratic term, or a linear one alone, the fall-off at
// `distance` is folded into the colour and the light does not fall off (approximated).
struct Falloff {
  float brightness = 1.0f;
  float range = 0.0f;
  bool approximated = false;
};
Falloff engineFalloff(float constant, float linear, float quadratic, float distance);

// The spot exponent that halves a spot light's brightness midway between its inner and
// outer cone angles (radians): 0 for a hard edge.
float spotExponent(float inner, float outer);

}  // namespace modelimport
