#pragma once
// A flock on the surface of a sphere.
//   Boids      sixty boids and ten obstacles on a unit sphere, steered by a weighted sum of
//              rules, drawn as points with velocity lines
//   BoidObject the scene flock: sixty clones of a bird flying on a sphere of radius 69.5
//              around seven obstacles, steered by prioritised rules in fixed 30 Hz steps
//
// Index: [SECTION] Boids · BoidObject

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Math.h"
#include "demoSystem/Effect.h"
#include "engine/SceneObject.h"

class Scene;

// x / |x|, where a squared length below 0.00001 counts as 1 (the vector is kept).
glm::vec3 normaliseGuarded(const glm::vec3& v);
// Three draws of rand() / 32767 − 0.5 of the shared generator: the second is x, the first
// y, the third z.
glm::vec3 randomDirection();

// [SECTION] Boids

class Boids : public Effect {
 public:
  static constexpr int kBoidCount = 60;
  static constexpr int kObstacleCount = 10;

  struct Boid {
    glm::vec3 position;
    glm::vec3 velocity;
  };

  // Boids and obstacles at random points of the unit sphere (the generator as it stands).
  explicit Boids(const std::string& name);
  void start(uint32_t) override {}
  void update(uint32_t) override {}
  // One step for frame time t, then the drawing.
  void render(uint32_t time) override;
  // One step per drawn frame, never reset after construction.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }
  void step(uint32_t time);

  FloatVariable Red, Green, Blue, Alpha;
  std::array<Boid, kBoidCount> boids{};
  std::array<glm::vec3, kObstacleCount> obstacles{};
  glm::vec3 goal{0.0f};
};

// [SECTION] BoidObject

class BoidObject : public SceneObject {
 public:
  static constexpr int kId = 721365;
  static constexpr int kBoidCount = 60;
  static constexpr int kObstacleCount = 7;
  static constexpr float kWorldRadius = 69.5f;
  static constexpr float kMaxSpeed = 0.33f;
  static constexpr float kStepMs = 33.333332f;

  struct Boid {
    glm::vec3 position;
    glm::vec3 velocity;
    float phase;
  };
  struct Bird {
    std::unique_ptr<SceneObject> clone;
    std::vector<SceneObject*> parts;
  };

  explicit BoidObject(const std::string& name);

  // Seeds the shared generator with 4242 and places the flock and the obstacles.
  void reset();
  void setCurrentTime(uint32_t ms) { now = ms; }
  // A clone of "Box04" per boid, with the objects of its tree as the parts that flap; no
  // "Box04" in the scene is a failed assertion.
  void attachBirds(Scene& scene);

  // At most one fixed step per call, when enough time has gathered.
  void animate(int frame, float fraction) override;
  void drawGeometry() override;
  // A copy of the flock is refused (failed assertion).
  std::unique_ptr<SceneObject> clone() const override;

  // One step of the rules and the move (what animate runs when a step is due).
  void step();

  std::array<Boid, kBoidCount> boids{};
  std::array<glm::vec3, kObstacleCount> obstacles{};
  glm::vec3 goal{0.0f};
  std::vector<Bird> birds;
  uint32_t now = 0, last = 0;
  float stepLength = kStepMs;
  float simulatedTime = 0;
  float accumulator = 0;
};
