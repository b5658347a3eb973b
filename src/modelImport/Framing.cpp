#include "modelImport/Framing.h"

#include <algorithm>
#include <cmath>

namespace modelimport {

float Box::largestSide() const {
  const glm::vec3 s = size();
  return std::max({s.x, s.y, s.z});
}

std::vector<glm::vec3> Box::corners() const {
  std::vector<glm::vec3> out;
  for (int i = 0; i < 8; ++i)
    out.emplace_back(i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z);
  return out;
}

float verticalFromHorizontal(float horizontal, float aspect) {
  return 2.0f * std::atan(std::tan(horizontal * 0.5f) / aspect);
}

float fileFovFromVertical(float vertical) {
  // The loader's own factor for the 4:3 picture (its 0.7500188, not 0.75), so that the
  // round trip gives the vertical angle back to the last bit or so.
  return 2.0f * std::atan(std::tan(vertical * 0.5f) / 0.7500188f);
}

namespace {

// Right and up of a camera looking along `forward` with +y up (+z up when it looks
// straight up or down).
void basis(glm::vec3 forward, glm::vec3& right, glm::vec3& up) {
  glm::vec3 worldUp(0.0f, 1.0f, 0.0f);
  if (std::fabs(glm::dot(forward, worldUp)) > 0.999f) worldUp = glm::vec3(0.0f, 0.0f, 1.0f);
  right = glm::normalize(glm::cross(forward, worldUp));
  up = glm::cross(right, forward);
}

Box solidBox(const Box& box) {
  if (!box.empty() && box.largestSide() > 0.0f) return box;
  const glm::vec3 c = box.centre();
  Box unit;
  unit.add(c - glm::vec3(0.5f));
  unit.add(c + glm::vec3(0.5f));
  return unit;
}

}  // namespace

void planesForBox(const Box& box, glm::vec3 eye, glm::vec3 direction, View& view) {
  const glm::vec3 forward = glm::normalize(direction);
  float nearest = 1e30f, farthest = -1e30f;
  for (const glm::vec3& c : solidBox(box).corners()) {
    const float depth = glm::dot(c - eye, forward);
    nearest = std::min(nearest, depth);
    farthest = std::max(farthest, depth);
  }
  const float extent = std::max(solidBox(box).radius(), 1e-6f);
  // A box behind the eye still gets planes that a picture can be drawn with.
  view.farPlane = std::max(farthest, extent) * 1.5f;
  view.nearPlane = std::max(nearest * 0.5f, view.farPlane / 10000.0f);
}

View frameBox(const Box& box, glm::vec3 direction, float fovY, float margin) {
  const Box solid = solidBox(box);
  const glm::vec3 towardsEye = glm::normalize(direction);
  glm::vec3 right, up;
  basis(-towardsEye, right, up);
  const float ty = std::tan(fovY * kPi / 360.0f) * (1.0f - margin);
  const float tx = ty * kEngineAspect;
  const glm::vec3 centre = solid.centre();
  float distance = 0.0f;
  for (const glm::vec3& c : solid.corners()) {
    const glm::vec3 r = c - centre;
    const float z = glm::dot(r, towardsEye);
    distance = std::max({distance, z + std::fabs(glm::dot(r, right)) / tx, z + std::fabs(glm::dot(r, up)) / ty});
  }
  View view;
  view.fovY = fovY;
  view.eye = centre + towardsEye * distance;
  view.target = centre;
  planesForBox(solid, view.eye, -towardsEye, view);
  return view;
}

glm::mat4 viewMatrix(const View& view) {
  return glm::perspective(view.fovY * kPi / 180.0f, kEngineAspect, view.nearPlane, view.farPlane) *
         glm::lookAt(view.eye, view.target, glm::vec3(0.0f, 1.0f, 0.0f));
}

bool viewSeesBox(const View& view, const Box& box) {
  if (box.empty()) return false;
  const glm::mat4 m = viewMatrix(view);
  // Outside when every corner is beyond one plane: left, right, bottom, top, near, far.
  int outside[6] = {};
  for (const glm::vec3& c : box.corners()) {
    const glm::vec4 p = m * glm::vec4(c, 1.0f);
    outside[0] += p.x < -p.w;
    outside[1] += p.x > p.w;
    outside[2] += p.y < -p.w;
    outside[3] += p.y > p.w;
    outside[4] += p.z < -p.w;
    outside[5] += p.z > p.w;
  }
  return std::none_of(std::begin(outside), std::end(outside), [](int n) { return n == 8; });
}

float pictureShare(const View& view, const Box& box) {
  if (!viewSeesBox(view, box)) return 0.0f;
  const glm::mat4 m = viewMatrix(view);
  glm::vec2 low(1.0f), high(-1.0f);
  for (const glm::vec3& c : box.corners()) {
    const glm::vec4 p = m * glm::vec4(c, 1.0f);
    if (p.w <= 0.0f) return 1.0f;
    const glm::vec2 ndc = glm::clamp(glm::vec2(p) / p.w, -1.0f, 1.0f);
    low = glm::min(low, ndc);
    high = glm::max(high, ndc);
  }
  return std::max(0.0f, high.x - low.x) * std::max(0.0f, high.y - low.y) / 4.0f;
}

View perspectiveForOrthographic(glm::vec3 eye, glm::vec3 direction, float halfHeight, float focus, float fovY) {
  const glm::vec3 forward = glm::normalize(direction);
  const float distance = halfHeight / std::tan(fovY * kPi / 360.0f);
  View view;
  view.fovY = fovY;
  view.target = eye + forward * focus;
  view.eye = view.target - forward * distance;
  return view;
}

Falloff engineFalloff(float constant, float linear, float quadratic, float distance) {
  Falloff f;
  if (constant <= 0.0f && linear <= 0.0f && quadratic <= 0.0f) return f;  // the importer's "none"
  if (quadratic <= 0.0f && constant > 0.0f) {
    f.brightness = 1.0f / constant;
    if (linear > 0.0f) f.range = 2.0f * constant / linear;
    return f;
  }
  const float d = std::max(distance, 1e-6f);
  f.brightness = 1.0f / (std::max(constant, 0.0f) + std::max(linear, 0.0f) * d + std::max(quadratic, 0.0f) * d * d);
  f.approximated = true;
  return f;
}

float spotExponent(float inner, float outer) {
  if (inner >= outer - 1e-4f) return 0.0f;
  const float middle = std::cos((inner + outer) * 0.5f);
  if (middle <= 0.0f || middle >= 1.0f) return 0.0f;
  return std::clamp(std::log(0.5f) / std::log(middle), 0.0f, 128.0f);
}

}  // namespace modelimport
