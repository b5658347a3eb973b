#include "effects/Boids.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "base/Error.h"
#include "base/Random.h"
#include "engine/Scene.h"

glm::vec3 normaliseGuarded(const glm::vec3& v) {
  const float squared = glm::dot(v, v);
  return squared < 0.00001f ? v : v / std::sqrt(squared);
}

namespace {

float centredRandom() { return static_cast<float>(demoRand()) / 32767.0f - 0.5f; }

constexpr int32_t kNoTable = Variable::kNoStringTable;

}  // namespace

glm::vec3 randomDirection() {
  const float first = centredRandom(), second = centredRandom(), third = centredRandom();
  return {second, first, third};
}

// [SECTION] Boids

namespace {
constexpr float kSeparation = 0.23f;
constexpr float kNeighbourhood = 0.4f;
constexpr float kAvoidance = 0.4f;
}  // namespace

Boids::Boids(const std::string& name) : Effect(name) {
  Red.value = Green.value = Blue.value = Alpha.value = 1;
  registerVariable(&Red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  registerVariable(&Green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  registerVariable(&Blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  registerVariable(&Alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
  for (Boid& boid : boids) boid = {normaliseGuarded(randomDirection()), glm::vec3(0.0f)};
  for (glm::vec3& obstacle : obstacles) obstacle = normaliseGuarded(randomDirection());
}

void Boids::step(uint32_t time) {
  const float t = static_cast<float>(time);
  goal = glm::vec3(std::cos(0.0005f * t - 1), std::sin(0.00025f * t - 1),
                   std::sin(0.0003333333333333333f * t - 1.5f) * std::cos(0.0005f * t));
  for (Boid& self : boids) {
    const glm::vec3 p = self.position;
    glm::vec3 separation(0.0f), velocitySum(0.0f), positionSum(0.0f);
    int neighbours = 0;
    for (const Boid& other : boids) {
      const float d = glm::length(p - other.position);
      if (&other != &self && d < kSeparation)
        separation -= normaliseGuarded(other.position - p) * (kSeparation - d) / kSeparation;
      if (d < kNeighbourhood) {  // itself included: never an empty mean
        velocitySum += other.velocity;
        positionSum += other.position;
        ++neighbours;
      }
    }
    for (const glm::vec3& obstacle : obstacles) {
      const float d = glm::length(p - obstacle);
      if (d < kAvoidance) separation -= normaliseGuarded(obstacle - p) * (kAvoidance - d) / kAvoidance;
    }
    const glm::vec3 alignment = velocitySum / static_cast<float>(neighbours) - self.velocity;
    const glm::vec3 cohesion = positionSum / static_cast<float>(neighbours) - p;
    self.velocity = 0.024f * separation + 0.02f * alignment + 0.02f * cohesion + 0.005f * (goal - p);
  }
  for (Boid& boid : boids) {
    boid.position += boid.velocity;
    boid.position *= 1.0f / glm::length(boid.position);
  }
}

void Boids::render(uint32_t time) {
  step(time);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90, 1.33, 0.1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, 2, 0, 0, 0, 0, 1, 0);
  glPointSize(6);
  glBegin(GL_POINTS);
  for (const Boid& boid : boids) glVertex3fv(glm::value_ptr(boid.position));
  glEnd();
  glBegin(GL_LINES);
  for (const Boid& boid : boids) {
    const glm::vec3 tip = boid.position + 4.0f * boid.velocity;
    glVertex3fv(glm::value_ptr(boid.position));
    glVertex3fv(glm::value_ptr(tip));
  }
  glEnd();
  glPointSize(1);
  glBegin(GL_POINTS);
  for (const glm::vec3& obstacle : obstacles) glVertex3fv(glm::value_ptr(obstacle));
  glEnd();
  glColor4f(1, 1, 1, 1);
  glPointSize(1);
  glPopAttrib();
}

// [SECTION] BoidObject

namespace {

constexpr const char* kObjectModule = "effects/BoidObject";
constexpr float kObjectSeparation = 16;
constexpr float kObjectNeighbourhood = 50;
constexpr float kObjectAvoidance = 60;
constexpr int kFlapFrames = 25;

class CollectTree : public SceneVisitor {
 public:
  explicit CollectTree(std::vector<SceneObject*>& into) : into(into) {}
  void visit(SceneObject& object) override { into.push_back(&object); }

 private:
  std::vector<SceneObject*>& into;
};

}  // namespace

BoidObject::BoidObject(const std::string& name) : SceneObject(kId, name) { reset(); }

std::unique_ptr<SceneObject> BoidObject::clone() const {
  assertTrue(false, kObjectModule, __LINE__);  // the flock and its birds are not copied
  return nullptr;
}

void BoidObject::reset() {
  demoSrand(4242);
  for (Boid& boid : boids) {
    boid.position = normaliseGuarded(randomDirection()) * kWorldRadius;
    boid.velocity = normaliseGuarded(glm::vec3(1, 1, 1)) * 0.5f;
    boid.phase = static_cast<float>(demoRand()) * 0.0015259255f;
  }
  for (glm::vec3& obstacle : obstacles) obstacle = normaliseGuarded(randomDirection()) * kWorldRadius;
  now = last = 0;
  simulatedTime = 0;
  accumulator = 0;
  stepLength = kStepMs;
}

void BoidObject::attachBirds(Scene& scene) {
  SceneObject* bird = scene.findObject("Box04");
  assertTrue(bird != nullptr, kObjectModule, __LINE__);  // the scene has no bird "Box04" to copy
  if (!bird) return;
  birds.clear();
  birds.reserve(kBoidCount);
  for (int i = 0; i < kBoidCount; ++i) {
    Bird entry;
    entry.clone = bird->clone();
    if (!entry.clone) continue;
    entry.clone->visible = true;
    CollectTree collect(entry.parts);
    entry.clone->accept(collect, true, false);
    // The original is hidden in the scene, its copies are drawn here.
    for (SceneObject* part : entry.parts) part->visible = true;
    birds.push_back(std::move(entry));
  }
}

void BoidObject::step() {
  const float angle = simulatedTime * 0.0033333334f * 0.02f;
  goal = kWorldRadius * glm::vec3(std::cos(angle) * std::sin(angle), std::sin(angle) * std::sin(angle), std::cos(angle));
  for (Boid& self : boids) {
    const glm::vec3 p = self.position;
    glm::vec3 avoidance(0.0f), separation(0.0f), velocitySum(0.0f), positionSum(0.0f);
    for (const glm::vec3& obstacle : obstacles) {
      const float d = glm::length(p - obstacle);
      if (d < kObjectAvoidance)
        avoidance -= normaliseGuarded(obstacle - p) * (kObjectAvoidance - d) / kObjectAvoidance;
    }
    int neighbours = 0;
    for (const Boid& other : boids) {
      const float d = glm::length(p - other.position);
      if (&other != &self && d < kObjectSeparation)
        separation -= normaliseGuarded(other.position - p) * (kObjectSeparation - d) / kObjectSeparation;
      if (d < kObjectNeighbourhood) {
        velocitySum += other.velocity;
        positionSum += other.position;
        ++neighbours;
      }
    }
    const glm::vec3 terms[5] = {
        0.8f * avoidance, 0.7f * separation,
        0.9f * (velocitySum / static_cast<float>(neighbours) - self.velocity),
        0.3f * (positionSum / static_cast<float>(neighbours) - p), 0.6f * (goal - p)};
    // Priorities: each rule takes what is left of a steering budget of 1, in order.
    glm::vec3 steering(0.0f);
    float used = 0;
    for (const glm::vec3& term : terms) {
      const float length = glm::length(term);
      glm::vec3 part = term;
      if (used + length > 1 && length > 0) part *= (1 - used) / length;
      steering += part;
      used += length;
      if (used >= 1) break;
    }
    self.velocity += 0.08f * steering;
    const float speed = glm::length(self.velocity);
    if (speed > kMaxSpeed) self.velocity *= kMaxSpeed / speed;
  }
  for (size_t i = 0; i < boids.size(); ++i) {
    Boid& boid = boids[i];
    glm::vec3 q = boid.position + boid.velocity;
    q *= kWorldRadius / glm::length(q);
    boid.velocity = q - boid.position;
    boid.phase += glm::length(boid.velocity);
    if (i < birds.size()) {
      const glm::vec3 up = normaliseGuarded(q);
      const glm::vec3 side = normaliseGuarded(glm::cross(q, boid.position));
      const glm::vec3 third = glm::cross(up, side);
      const float m[16] = {third.x, third.y, third.z, 0, up.x, up.y, up.z, 0,
                           side.x,  side.y,  side.z,  0, 0,    0,    0,    1};
      const float key = 8 * boid.phase;
      const int frame = static_cast<int>(key) % kFlapFrames;
      const float fraction = key - std::trunc(key);
      for (SceneObject* part : birds[i].parts) {
        part->animate(frame, fraction);
        part->setPosition(q);
        part->setRotationMatrix(m);
      }
    }
    boid.position = q;
  }
  simulatedTime += stepLength;
}

void BoidObject::animate(int frame, float fraction) {
  SceneObject::animate(frame, fraction);
  // Signed: a clock that went back (a seek, a restart) adds nothing.
  accumulator += static_cast<float>(std::max<int64_t>(int64_t(now) - int64_t(last), 0));
  last = now;
  if (accumulator < stepLength) return;
  accumulator -= stepLength;
  step();
}

void BoidObject::drawGeometry() {
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
  glColor4f(0, 0, 1, 1);
  glEnable(GL_DEPTH_TEST);
  glPointSize(3);
  glPushMatrix();
  for (Bird& bird : birds) bird.clone->drawHierarchy();
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
  glPopAttrib();
}
