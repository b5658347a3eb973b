#pragma once
// Scene-based demo parts: scene effects that load one fixed scene, find their nodes by
// name, clone or hide some of them and drive a few procedurally every frame.
//   ArmScene      three copies of a jointed arm waving round a common centre
//   SwimBoid      three jointed bodies swimming in waves (each a chain of five copies)
//   FontMachine   three parts of a stand sliding back and forth
//   GrowScene     three random branches growing one after another
//   ParticleTest  a particle system of glowing squares in a box
//   ThreadObject  ribbons trailing behind the animated dummies of a scene
//
// Scenes stay in the scene cache when the effects go, so a reload meets the objects the
// effects added before: everything is looked up by name before it is added, and the
// scene alone owns what it holds.
//
// Index: [SECTION] Joint chains · Clones · Growing branches · Particle system ·
//        Trails · The effects

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Math.h"
#include "effects/Effect3D.h"
#include "engine/SceneObject.h"

class Scene;
class Texture;

namespace sceneparts {

// [SECTION] Joint chains (ArmScene, SwimBoid)

// The angles of a chain of ten points that waves in the x-z plane: point k lies at
// (spacing k, 0, 0) turned by w_k = amplitude · sin((T − lag k) · rate) radians about y;
// the root takes w_0 in degrees, joint j the signed angle between the segments meeting at
// point j + 1, in degrees.
struct ChainPose {
  static constexpr int kPoints = 10;
  static constexpr int kJoints = 8;
  float rootDegrees = 0;
  std::array<float, kJoints> jointDegrees{};
};
ChainPose chainPose(float T, float amplitude, float lag, float rate, float spacing);

// Gives `root` the rotation `rootAngles` (degrees) and the j-th object down its chain of
// first children joint j about `axis` (0 x, 1 y, 2 z), until the chain or the joints end.
void poseChain(SceneObject& root, const glm::vec3& rootAngles, const ChainPose& pose, int axis);

// [SECTION] Clones

// The object called `name`; when the scene has none, a clone of `original` (with its
// subtree) under that name, added as the last child of `parent` (null: top level).
// `created` tells which of the two it was.
SceneObject* cloneOnce(Scene& scene, const SceneObject& original, SceneObject* parent, const std::string& name,
                       bool* created = nullptr);

// Sets `visible` on the object and its whole subtree.
void setVisibleTree(SceneObject& object, bool visible);
// Switches `childrenInherit` on for the object and its whole subtree.
void setChildrenInheritTree(SceneObject& object);
// Sets `animationMode` on the object and its whole subtree.
void setAnimationModeTree(SceneObject& object, int mode);

// [SECTION] Growing branches (GrowScene)

struct BranchShape {
  glm::vec3 amplitude;  // degrees of random turn per axis
  float decay;          // the base turn shrinks by this factor per segment
  float probability;    // of a side branch per segment (a quarter of it in side branches)
  float ratio;          // a side branch's length against what is left of its parent
};
constexpr int kBranchSegments = 26;
constexpr float kSegmentLength = 120.0f;

// Builds a branch below `start` from the shared generator: per segment maybe a side branch
// (a clone turned 30° about x, the segment's last sibling, built the same way with a
// shorter length), then the next segment, a clone added as the last child, placed at
// (120, 0, 0) and turned by the base angles plus a random share of the amplitude. Clones
// are named after `start` with "#1", "#2", … With a null scene nothing is built but the
// generator is drawn exactly as a build draws it (a reload that finds the branch built
// leaves the generator where a fresh build would).
void buildBranch(Scene* scene, SceneObject* start, int segments, glm::vec3 baseDegrees, const BranchShape& shape,
                 float probability);
// Shows the branch below `node` up to growth g (1 = all 26 segments): segments below
// level 26 g at scale c, the growing tip scaled by its share, the rest hidden; side
// branches follow four levels later at scale c².
void growBranch(SceneObject* node, int level, float growth, float scale);

// [SECTION] Particle system (ParticleTest)

class ParticleSystem : public SceneObject {
 public:
  static constexpr int kCapacity = 200;

  struct Particle {
    glm::vec3 position{0.0f};
    glm::vec3 previousPosition{0.0f};
    glm::vec3 third{0.0f};
    float size = 1.0f;
    glm::vec4 colour{1.0f};
    glm::vec4 secondColour{1.0f};
    float value = 1.0f;
    float more[3] = {0, 0, 0};
    bool alive = true;
  };

  ParticleSystem(int id, const std::string& name);

  // Moves the first free particle to the end of the active list at (x, y, z); nothing
  // when all are active.
  void emit(float x, float y, float z, float value);
  // Every particle back to the free list, as at construction.
  void reset();
  // Fills the quads from the active particles in eye space through the view matrix.
  void fillQuads();
  // The active particles as additive quads over the current projection.
  void drawGeometry() override;

  int activeCount() const { return static_cast<int>(activeList.size()); }
  const float* vertexPositions() const { return positions.data(); }
  const float* vertexColours() const { return colours.data(); }
  const uint16_t* quadIndices() const { return indices.data(); }

  glm::mat4 viewMatrix{1.0f};
  Texture* texture = nullptr;
  float colourBase = 0.0f;

 protected:
  ParticleSystem(const ParticleSystem&) = default;
  std::unique_ptr<SceneObject> copyNode() const override;

 private:
  std::vector<float> positions;  // four floats per vertex, the fourth unused (16-byte stride)
  std::vector<float> texCoords;
  std::vector<float> colours;
  std::vector<uint16_t> indices;
  std::array<Particle, kCapacity> particles;
  // Indices into `particles`, so a copy's lists name its own particles. Both hold at most
  // kCapacity and are reserved up front.
  std::vector<int> activeList;
  std::vector<int> freeList;
};

// [SECTION] Trails (ThreadObject)

class TrailObject : public SceneObject {
 public:
  static constexpr int kMaxPoints = 601;

  TrailObject(int id, const std::string& name, const SceneObject* dummy);

  // Records the dummy's position, draws the ribbon from the newest point back, then lets
  // every point fall.
  void drawGeometry() override;
  // Forgets the recorded points (a reload starts the trail again).
  void clear() { count = 0; }
  int pointCount() const { return count; }
  // Point i counted from the oldest.
  glm::vec3 point(int i) const { return points[index(i)].position; }

  const SceneObject* dummy;

 protected:
  TrailObject(const TrailObject&) = default;
  std::unique_ptr<SceneObject> copyNode() const override;

 private:
  struct Point {
    glm::vec3 position;
    float velocity;
    float acceleration;
  };
  int index(int i) const { return (first + i) % kMaxPoints; }
  std::array<Point, kMaxPoints> points{};
  int first = 0;
  int count = 0;
};

}  // namespace sceneparts

// [SECTION] The effects

// Three copies of the arm "ledd01" of testarm.vkg, turned 120°, 240° and 360° about y round
// the scene's centre, wave their joints; the loaded arm itself is hidden.
class ArmScene : public Effect3D {
 public:
  static constexpr const char* kSceneFile = "data/scenes/testarm.vkg";
  explicit ArmScene(const std::string& name);
  void render(uint32_t time) override;

  // The roots in order: the loaded (hidden) arm, then its three clones.
  std::array<SceneObject*, 4> armRoots{};
  sceneparts::ChainPose pose;
};

// "Box30", "Box40" and "Box50" of swimboid.vkg, each with a tail of five copies of itself
// 40 units behind, swim: the wave bends the chains about x.
class SwimBoid : public Effect3D {
 public:
  static constexpr const char* kSceneFile = "data/scenes/swimboid.vkg";
  explicit SwimBoid(const std::string& name);
  void render(uint32_t time) override;

  std::array<SceneObject*, 3> bodies{};
  sceneparts::ChainPose pose;
};

// The stand of stativ.vkg: "Box03" slides sideways, "Mesh01" in and out, "Box08" up and
// down, each on its own sine.
class FontMachine : public Effect3D {
 public:
  static constexpr const char* kSceneFile = "data/scenes/stativ.vkg";
  explicit FontMachine(const std::string& name);
  void render(uint32_t time) override;

  SceneObject* slide = nullptr;  // "Box03"
  SceneObject* arm = nullptr;    // "Mesh01"
  SceneObject* head = nullptr;   // "Box08"
};

// Three random branches grown from "del05", "del06" and "del07" of grogreie.vkg (the
// generator seeded with 1337), each starting to grow 1.4 scene-time units × 100 after the
// one before.
class GrowScene : public Effect3D {
 public:
  static constexpr const char* kSceneFile = "data/scenes/grogreie.vkg";
  explicit GrowScene(const std::string& name);
  void render(uint32_t time) override;
  // The growth of branch i (0–2) at scaled time T: 0 until 0.007142857 T passes 0.3 + i.
  static float growth(float T, int branch);

  std::array<SceneObject*, 3> branchRoots{};
};

// A particle system "sparklingbluearcticlight" under "ParticleBox" of skrap2.vkg, with a
// hundred particles scattered through the box's bounds.
class ParticleTest : public Effect3D {
 public:
  static constexpr const char* kSceneFile = "data/scenes/skrap2.vkg";
  static constexpr const char* kSystemName = "sparklingbluearcticlight";
  explicit ParticleTest(const std::string& name);
  void render(uint32_t time) override;

  sceneparts::ParticleSystem* particles = nullptr;
};

// The scene the script gives it, with "Sphere01" hidden and a falling ribbon behind each
// of the dummies "Dummy01", "Dummy02", … (hidden themselves).
class ThreadObject : public Effect3D {
 public:
  explicit ThreadObject(const std::string& name);
  bool loadScene(const std::string& fileName) override;
  // Each drawing records a point of every trail and lets the older ones fall; a load clears them.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  std::vector<sceneparts::TrailObject*> trails;
};
