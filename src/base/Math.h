#pragma once
// The math vocabulary of the engine and the effects: GLM vectors, 4 × 4 matrices stored in
// GL's column-major order (glm::value_ptr hands them straight to glLoadMatrixf and
// glUniformMatrix4fv) and quaternions. Where a formula of the engine differs from GLM's
// own, the engine's version is written out here with the reason.

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

namespace demo_math {

// Degrees to radians as the effects and the scene code compute it, with 3.14 for pi.
// Rotations built on it turn slightly less than glm::radians would (0.05 %), which the
// animations were tuned with, so it is kept wherever the engine's formula uses it.
constexpr float kDegToRad = 3.14f / 180.0f;
constexpr float degToRad(float degrees) { return degrees * kDegToRad; }

// A 4 × 4 matrix read from or written to GL's float[16] (column-major).
inline glm::mat4 fromGl(const float* m) { return glm::make_mat4(m); }

}  // namespace demo_math
