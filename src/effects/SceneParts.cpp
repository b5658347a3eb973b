#include "effects/SceneParts.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/Error.h"
#include "base/Random.h"
#include "engine/Material.h"
#include "engine/Scene.h"
#include "resources/Texture.h"

namespace sceneparts {

namespace {

constexpr float kDegreesPerRadian = 57.29577951308232f;

}  // namespace

// [SECTION] Joint chains

ChainPose chainPose(float T, float amplitude, float lag, float rate, float spacing) {
  std::array<glm::vec3, ChainPose::kPoints> c;
  float w0 = 0;
  for (int k = 0; k < ChainPose::kPoints; ++k) {
    const float w = amplitude * std::sin((T - lag * static_cast<float>(k)) * rate);
    if (k == 0) w0 = w;
    // The y rotation of the scene's Euler matrix applied to (spacing k, 0, 0): its first
    // column (cos w, 0, −sin w).
    const float px = spacing * static_cast<float>(k);
    c[k] = glm::vec3(std::cos(w) * px, 0.0f, -std::sin(w) * px);
  }
  ChainPose pose;
  pose.rootDegrees = w0 * kDegreesPerRadian;
  for (int j = 0; j < ChainPose::kJoints; ++j) {
    const glm::vec3 a = c[j + 2] - c[j + 1];
    const glm::vec3 b = c[j + 1] - c[j];
    const float lengths = glm::length(a) * glm::length(b);
    // Nearly parallel segments give a normalised dot product that rounds just above 1:
    // clamped, or acos gives NaN and the arm vanishes for the frame.
    const float cosine = lengths > 0 ? std::clamp(glm::dot(a, b) / lengths, -1.0f, 1.0f) : 1.0f;
    const float theta = std::acos(cosine);
    pose.jointDegrees[j] = (glm::cross(a, b).y > 0 ? -theta : theta) * kDegreesPerRadian;
  }
  return pose;
}

void poseChain(SceneObject& root, const glm::vec3& rootAngles, const ChainPose& pose, int axis) {
  root.setRotationDegrees(rootAngles.x, rootAngles.y, rootAngles.z);
  int j = 0;
  for (SceneObject* node = root.getFirstChild(); node && j < ChainPose::kJoints; node = node->getFirstChild(), ++j) {
    glm::vec3 angles(0.0f);
    angles[axis] = pose.jointDegrees[j];
    node->setRotationDegrees(angles.x, angles.y, angles.z);
  }
}

// [SECTION] Clones

SceneObject* cloneOnce(Scene& scene, const SceneObject& original, SceneObject* parent, const std::string& name,
                       bool* created) {
  if (SceneObject* found = scene.findObject(name)) {
    if (created) *created = false;
    return found;
  }
  std::unique_ptr<SceneObject> copy = original.clone();
  copy->name = name;
  if (created) *created = true;
  return scene.addObjectUnder(std::move(copy), parent);
}

void setVisibleTree(SceneObject& object, bool visible) {
  object.visible = visible;
  for (SceneObject* child = object.getFirstChild(); child; child = child->getNextSibling())
    setVisibleTree(*child, visible);
}

void setAnimationModeTree(SceneObject& object, int mode) {
  object.animationMode = mode;
  for (SceneObject* child = object.getFirstChild(); child; child = child->getNextSibling())
    setAnimationModeTree(*child, mode);
}

void setChildrenInheritTree(SceneObject& object) {
  object.childrenInherit = true;
  for (SceneObject* child = object.getFirstChild(); child; child = child->getNextSibling())
    setChildrenInheritTree(*child);
}

// [SECTION] Growing branches

namespace {

struct BranchBuild {
  Scene* scene;  // null: draw the generator only
  std::string baseName;
  int made = 0;
};

float unitRandom() { return static_cast<float>(demoRand()) / 32767.0f; }

void build(BranchBuild& b, SceneObject* s, int n, glm::vec3 base, const BranchShape& shape, float probability) {
  do {
    if (unitRandom() < probability) {
      SceneObject* side = nullptr;
      if (b.scene) {
        std::unique_ptr<SceneObject> copy = s->clone();
        copy->name = b.baseName + "#" + std::to_string(++b.made);
        copy->setRotationDegrees(30.0f, 0.0f, 0.0f);
        side = b.scene->addObjectUnder(std::move(copy), s->getParent());
      }
      build(b, side, static_cast<int>(static_cast<float>(n) * shape.ratio), base, shape, probability * 0.25f);
    }
    SceneObject* next = nullptr;
    if (b.scene) {
      std::unique_ptr<SceneObject> copy = s->clone();
      copy->name = b.baseName + "#" + std::to_string(++b.made);
      b.scene->addObjectUnder(std::move(copy), s);
      next = s->getFirstChild();
      next->setPosition(glm::vec3(kSegmentLength, 0.0f, 0.0f));
    }
    const float u1 = 2.0f * static_cast<float>(demoRand()) / 32767.0f - 1.0f;
    const float u2 = 2.0f * static_cast<float>(demoRand()) / 32767.0f - 1.0f;
    const float u3 = 2.0f * static_cast<float>(demoRand()) / 32767.0f - 1.0f;
    if (next)
      next->setRotationDegrees(base.x + u1 * shape.amplitude.x, base.y + u2 * shape.amplitude.y,
                               base.z + u3 * shape.amplitude.z);
    base *= shape.decay;
    s = next;
  } while (n-- >= 2);
}

}  // namespace

void buildBranch(Scene* scene, SceneObject* start, int segments, glm::vec3 baseDegrees, const BranchShape& shape,
                 float probability) {
  BranchBuild b{scene && start ? scene : nullptr, start ? start->name : std::string(), 0};
  build(b, b.scene ? start : nullptr, segments, baseDegrees, shape, probability);
}

void growBranch(SceneObject* node, int level, float growth, float scale) {
  constexpr float kLevelShare = 0.03846154f;  // 1 / 26
  for (; node; node = node->getFirstChild(), ++level) {
    const float reached = static_cast<float>(level) * kLevelShare;
    if (growth > static_cast<float>(level + 1) * kLevelShare) {
      setVisibleTree(*node, true);
      node->setScale(glm::vec3(scale));
    } else if (growth > reached) {
      setVisibleTree(*node, true);
      node->setScale(glm::vec3((growth - reached) * 25.999998f));
    } else {
      setVisibleTree(*node, false);
    }
    if (level != 0 && node->getNextSibling()) growBranch(node->getNextSibling(), level + 4, growth, scale * scale);
  }
}

// [SECTION] Particle system

ParticleSystem::ParticleSystem(int id, const std::string& name)
    : SceneObject(id, name),
      positions(kCapacity * 4 * 4, 0.0f),
      texCoords(kCapacity * 4 * 2),
      colours(kCapacity * 4 * 4, 1.0f),
      indices(kCapacity * 6) {
  static constexpr float kCorners[8] = {0, 0, 1, 0, 1, 1, 0, 1};
  for (int q = 0; q < kCapacity; ++q) {
    std::copy(std::begin(kCorners), std::end(kCorners), texCoords.begin() + q * 8);
    const auto a = static_cast<uint16_t>(4 * q);
    const uint16_t quad[6] = {a, static_cast<uint16_t>(a + 2), static_cast<uint16_t>(a + 1),
                              static_cast<uint16_t>(a + 2), a, static_cast<uint16_t>(a + 3)};
    std::copy(std::begin(quad), std::end(quad), indices.begin() + q * 6);
  }
  activeList.reserve(kCapacity);
  freeList.reserve(kCapacity);
  reset();
}

std::unique_ptr<SceneObject> ParticleSystem::copyNode() const {
  return std::unique_ptr<SceneObject>(new ParticleSystem(*this));
}

void ParticleSystem::reset() {
  activeList.clear();
  freeList.clear();
  for (int i = 0; i < kCapacity; ++i) {
    particles[i] = Particle{};
    freeList.push_back(i);
  }
}

void ParticleSystem::emit(float x, float y, float z, float value) {
  if (static_cast<int>(activeList.size()) >= kCapacity || freeList.empty()) return;
  const int index = freeList.front();
  freeList.erase(freeList.begin());
  activeList.push_back(index);
  Particle& p = particles[index];
  p.position = p.previousPosition = glm::vec3(x, y, z);
  p.value = value;
  p.size = 8.0f;
}

void ParticleSystem::fillQuads() {
  const float* m = glm::value_ptr(viewMatrix);
  for (size_t i = 0; i < activeList.size(); ++i) {
    float* v = &positions[i * 16];
    float* c = &colours[i * 16];
    const Particle& p = particles[activeList[i]];
    if (!p.alive) {
      std::fill_n(v, 16, 0.0f);
      std::fill_n(c, 16, 0.0f);
      continue;
    }
    const glm::vec3& q = p.position;
    const float x = q.x * m[0] + q.y * m[4] + q.z * m[8] + m[12] - p.size;
    const float y = q.x * m[1] + q.y * m[5] + q.z * m[9] + m[13] - p.size;
    const float z = q.x * m[2] + q.y * m[6] + q.z * m[10] + m[14];
    const float w = 2.0f * p.size, h = w;
    const float corners[4][2] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
    for (int k = 0; k < 4; ++k) {
      v[k * 4 + 0] = corners[k][0];
      v[k * 4 + 1] = corners[k][1];
      v[k * 4 + 2] = z;
      c[k * 4 + 0] = p.value + colourBase;
      c[k * 4 + 1] = p.colour.r;
      c[k * 4 + 2] = p.colour.g;
      c[k * 4 + 3] = p.colour.b;
    }
  }
}

void ParticleSystem::drawGeometry() {
  if (activeList.empty()) return;
  // The quads carry their own state: a material left in effect by the meshes before ends
  // here (the next mesh applies its own again).
  Material::releaseApplied();
  // The colour array leaves the current colour undefined: it is saved with the rest.
  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_TEXTURE_BIT |
               GL_LIGHTING_BIT | GL_CURRENT_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDepthMask(GL_FALSE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glPolygonOffset(-4.1f, -200.0f);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  if (texture) {
    glEnable(GL_TEXTURE_2D);
    texture->bind();
  }
  glLoadIdentity();
  fillQuads();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 16, positions.data());
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
  glColorPointer(4, GL_FLOAT, 0, colours.data());
  glDisable(GL_TEXTURE_2D);
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(activeList.size() * 6), GL_UNSIGNED_SHORT, indices.data());
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

// [SECTION] Trails

TrailObject::TrailObject(int id, const std::string& name, const SceneObject* followed)
    : SceneObject(id, name), dummy(followed) {}

std::unique_ptr<SceneObject> TrailObject::copyNode() const {
  return std::unique_ptr<SceneObject>(new TrailObject(*this));
}

void TrailObject::drawGeometry() {
  if (count > kMaxPoints - 1) {
    first = (first + 1) % kMaxPoints;
    --count;
  }
  points[index(count)] = Point{dummy ? dummy->getPosition() : glm::vec3(0.0f), 0.0f, 0.0f};
  ++count;

  if (count >= 2) {
    Material::releaseApplied();
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT |
                 GL_TEXTURE_BIT | GL_LIGHTING_BIT);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(1.5f);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_CULL_FACE);
    // The ribbon is its own colour: no lighting or texture from what was drawn before.
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    float h = 0.1f;
    float c = 1.0f;
    glBegin(GL_QUADS);
    for (int i = count - 1; i >= 1; --i) {
      const glm::vec3& p = points[index(i)].position;
      const glm::vec3& q = points[index(i - 1)].position;
      glColor4f(0.2f * c, c, 0.2f * c, c);
      glVertex3f(p.x - h, p.y, p.z);
      glVertex3f(p.x + h, p.y, p.z);
      glVertex3f(q.x + h, q.y, q.z);
      glVertex3f(q.x - h, q.y, q.z);
      if (h < 1.5f) h += 0.02f;
      c -= 0.002f;
    }
    glEnd();
    glPopAttrib();
  }

  for (int i = 0; i < count; ++i) {
    Point& p = points[index(i)];
    p.position.z += p.velocity;
    p.velocity += p.acceleration;
    p.acceleration = -0.001f;
  }
}

}  // namespace sceneparts

// [SECTION] The effects

namespace {

using namespace sceneparts;

// A node the part cannot do without: a scene that lacks it is a failed assertion.
SceneObject* requireNode(Scene& scene, const char* name, int line) {
  SceneObject* node = scene.findObject(name);
  assertNotNull(node, __FILE__, line);
  return node;
}

// The short render of the parts that draw the tree directly: the scene's clock at the
// effect's scaled time, its keys, then the hierarchy.
void renderHierarchyAt(Scene& scene, uint32_t time, float scaledTime) {
  scene.setDemoTime(time);
  scene.setTime(scaledTime);
  scene.animate();
  scene.renderHierarchy();
}

}  // namespace

ArmScene::ArmScene(const std::string& name) : Effect3D(name) {
  loadScene(kSceneFile);
  if (!scene) return;
  SceneObject* arm = requireNode(*scene, "ledd01", __LINE__);
  setChildrenInheritTree(*arm);
  static constexpr std::pair<const char*, glm::vec3> kJoints[] = {
      {"ledd02", {40, 0, 0}}, {"ledd03", {25, -8, 0}}, {"ledd04", {25, 0, 0}},
      {"ledd05", {25, 0, 0}}, {"ledd06", {25, 0, 0}},
  };
  for (const auto& [node, position] : kJoints) requireNode(*scene, node, __LINE__)->setPosition(position);
  armRoots[0] = arm;
  for (int i = 1; i <= 3; ++i) {
    SceneObject* copy = cloneOnce(*scene, *arm, nullptr, "ledd01#" + std::to_string(i));
    copy->setRotationDegrees(0, 90, 0);
    setAnimationModeTree(*copy, 0);
    armRoots[i] = copy;
  }
  setVisibleTree(*arm, false);
}

void ArmScene::render(uint32_t time) {
  if (!scene) return;
  pose = chainPose(scaledTime, 1.0f, 6.0f, 0.05f, 25.0f);
  static constexpr float kOffsets[4] = {0, 120, 240, 360};
  for (int i = 0; i < 4; ++i) poseChain(*armRoots[i], {0, kOffsets[i] + pose.rootDegrees, 0}, pose, 1);
  Effect3D::render(time);
}

SwimBoid::SwimBoid(const std::string& name) : Effect3D(name) {
  loadScene(kSceneFile);
  if (!scene) return;
  static constexpr const char* kBodies[3] = {"Box30", "Box40", "Box50"};
  for (int b = 0; b < 3; ++b) {
    SceneObject* body = requireNode(*scene, kBodies[b], __LINE__);
    setChildrenInheritTree(*body);
    // The tail's pieces are copies of the body as the file has it, not of the tail so far.
    const std::unique_ptr<SceneObject> pristine = body->clone();
    SceneObject* parent = body;
    for (int k = 1; k <= 5; ++k) {
      SceneObject* piece = cloneOnce(*scene, *pristine, parent, std::string(kBodies[b]) + "#" + std::to_string(k));
      piece->setPosition({0, 0, -40});
      parent = piece;
    }
    bodies[b] = body;
  }
}

void SwimBoid::render(uint32_t time) {
  if (!scene) return;
  pose = chainPose(scaledTime, 0.3f, 3.0f, 0.125f, 40.0f);
  for (SceneObject* body : bodies) poseChain(*body, {pose.rootDegrees, 0, 0}, pose, 0);
  renderHierarchyAt(*scene, time, scaledTime);
}

FontMachine::FontMachine(const std::string& name) : Effect3D(name) {
  loadScene(kSceneFile);
  if (!scene) return;
  slide = requireNode(*scene, "Box03", __LINE__);
  arm = requireNode(*scene, "Mesh01", __LINE__);
  head = requireNode(*scene, "Box08", __LINE__);
  setChildrenInheritTree(*slide);
}

void FontMachine::render(uint32_t time) {
  if (!scene) return;
  const float T = scaledTime;
  const float s1 = 50.0f * std::sin(0.025f * T);
  const float s2 = 30.0f * std::sin(0.03333333333333333f * T + 1.5f);
  const float s3 = 20.0f * std::sin(0.05f * T + 0.5f);
  slide->setPosition({s1, 50, 0});
  arm->setPosition({0, 0, s2 * 0.3333333333333333f});
  head->setPosition({10, 0.25f * s3 - 10, 0});
  renderHierarchyAt(*scene, time, scaledTime);
}

GrowScene::GrowScene(const std::string& name) : Effect3D(name) {
  demoSrand(1337);
  loadScene(kSceneFile);
  if (!scene) return;
  for (const char* node : {"del1", "del2", "del3", "del4", "del05", "del06", "del07"})
    setChildrenInheritTree(*requireNode(*scene, node, __LINE__));
  static constexpr const char* kRoots[3] = {"del05", "del06", "del07"};
  static const BranchShape kShapes[3] = {
      {{20, 0, 20}, 0.98f, 0.2f, 0.7f},
      {{10, 10, 10}, 0.95f, 0.14f, 0.9f},
      {{10, 10, 10}, 0.95f, 0.16f, 0.9f},
  };
  const glm::vec3 base(26.923077f, 46.153847f, 15.384615f);
  for (int i = 0; i < 3; ++i) {
    branchRoots[i] = requireNode(*scene, kRoots[i], __LINE__);
    // A cached scene holds the branches already: the generator is drawn as a build would.
    const bool built = scene->findObject(std::string(kRoots[i]) + "#1") != nullptr;
    buildBranch(built ? nullptr : scene, branchRoots[i], kBranchSegments, base, kShapes[i], kShapes[i].probability);
  }
}

float GrowScene::growth(float T, int branch) {
  return std::max(0.0f, 0.007142857142857143f * T - 0.3f - static_cast<float>(branch));
}

void GrowScene::render(uint32_t time) {
  if (!scene) return;
  for (int i = 0; i < 3; ++i) growBranch(branchRoots[i], 0, growth(scaledTime, i), 0.9f);
  renderHierarchyAt(*scene, time, scaledTime);
}

ParticleTest::ParticleTest(const std::string& name) : Effect3D(name) {
  loadScene(kSceneFile);
  if (!scene) return;
  SceneObject* box = requireNode(*scene, "ParticleBox", __LINE__);
  setChildrenInheritTree(*box);
  if (SceneObject* found = scene->findObject(kSystemName)) {
    particles = dynamic_cast<ParticleSystem*>(found);
    assertNotNull(particles, DE_HERE);  // the name belongs to something else in the scene
    particles->reset();
  } else {
    particles = scene->addObjectUnder(std::make_unique<ParticleSystem>(200, kSystemName), box);
  }
  const glm::vec3 lo = box->boundsMin, hi = box->boundsMax;
  for (int i = 0; i < 100; ++i) {
    const float rx = static_cast<float>(demoRand()) / 32767.0f;
    const float ry = static_cast<float>(demoRand()) / 32767.0f;
    const float rz = static_cast<float>(demoRand()) / 32767.0f;
    particles->emit(lo.x + rx * (hi.x - lo.x), lo.y + ry * (hi.y - lo.y), lo.z + rz * (hi.z - lo.z), 16.0f);
  }
}

void ParticleTest::render(uint32_t time) {
  if (!scene) return;
  glGetFloatv(GL_MODELVIEW_MATRIX, glm::value_ptr(particles->viewMatrix));
  renderHierarchyAt(*scene, time, scaledTime);
}

ThreadObject::ThreadObject(const std::string& name) : Effect3D(name) {}

bool ThreadObject::loadScene(const std::string& fileName) {
  if (!Effect3D::loadScene(fileName)) return false;
  trails.clear();
  if (SceneObject* sphere = scene->findObject("Sphere01")) sphere->visible = false;
  for (int i = 1; i <= 99; ++i) {
    char dummyName[16];
    std::snprintf(dummyName, sizeof dummyName, "%s%02d", "Dummy", i);
    SceneObject* dummy = scene->findObject(dummyName);
    if (!dummy) break;
    dummy->visible = false;
    const std::string trailName = std::string(dummyName) + "Sypike";
    TrailObject* trail = dynamic_cast<TrailObject*>(scene->findObject(trailName));
    if (trail) {
      trail->clear();  // a reload starts the ribbon again, as a fresh run does
    } else {
      trail = scene->addObjectUnder(std::make_unique<TrailObject>(543, trailName, dummy), dummy);
    }
    trails.push_back(trail);
  }
  return true;
}
