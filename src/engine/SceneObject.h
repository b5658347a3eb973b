#pragma once
// The nodes of a scene: the SceneObject base (a transform, keyed animation and the links of
// the tree), lights and cameras. Meshes are in MeshObject.h; the Scene that owns them all
// is in Scene.h.
//
// The tree is a first-child / next-sibling list. A node's world matrix is the parent's
// matrix (when the parent passes it on with childrenInherit, otherwise the grandparent's)
// times translate(offset + position) · extraMatrix · rotation · scale.
//
// Rotations come in two forms written out as the scene data expects them: Euler angles
// (setRotationDegrees) and quaternions from the exporter (quaternionToMatrix), whose matrix
// is the transpose of the usual one. Scenes exported for this engine are built on exactly
// these matrices, so neither may be replaced by GLM's own conversion.

#include <epoxy/gl.h>

#include <cstdint>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_access.hpp>
#include <memory>
#include <string>
#include <vector>

#include "base/Math.h"

class Scene;
class Material;
class Texture;
class SceneObject;

// [SECTION] Matrix helpers shared by the scene code

// The exporter's quaternion (x, y, z, w) as a rotation matrix: the transpose of the usual
// (GLM's mat4_cast) matrix, with 2 / n normalisation and f = 1 for a near-zero quaternion.
glm::mat4 quaternionToMatrix(const glm::quat& q);
// Rx(x) · Ry(y) · Rz(z), angles in degrees.
glm::mat4 eulerDegreesToMatrix(float x, float y, float z);
// Spherical interpolation on the shorter arc, with plain weights for nearly equal keys.
glm::quat slerpKeys(const glm::quat& a, const glm::quat& b, float fraction);
// gluPerspective (field of view in degrees); a non-positive aspect counts as 1.
glm::mat4 perspectiveMatrix(float fovYDegrees, float aspect, float nearPlane, float farPlane);
// gluLookAt; when `up` is parallel to the viewing direction another axis stands in for it
// (a light straight above its target still sees it).
glm::mat4 lookAtMatrix(const glm::vec3& eye, const glm::vec3& centre, const glm::vec3& up);
// The integer width / height quotient some effects use as the aspect (1 for 1024 × 768),
// never below 1: a portrait window would otherwise give 0.
int integerAspect(int width, int height);

// [SECTION] Visiting a tree

class SceneVisitor {
 public:
  virtual ~SceneVisitor() = default;
  virtual void visit(SceneObject& object) = 0;
};

// [SECTION] SceneObject

class SceneObject {
 public:
  static constexpr int kKeyed = 2;           // animationMode of objects that play their keys
  static constexpr int kCloneIdOffset = 10000;

  SceneObject(int id, const std::string& name);
  virtual ~SceneObject();
  SceneObject& operator=(const SceneObject&) = delete;

  // [SECTION] Transform setters
  void setPosition(const glm::vec3& p) { position = p; }
  void setScale(const glm::vec3& s) { scale = s; }
  void setPivot(const glm::vec3& p) { pivot = p; }
  void setOffset(const glm::vec3& o) { offset = o; }
  void setExtraMatrix(const glm::mat4& m);
  void setExtraScale(const glm::vec3& s, bool on = true);
  void setRotationDegrees(float x, float y, float z);
  void setRotationMatrix(const float matrix[16]);
  void setRotationQuaternion(const glm::quat& q) { rotation = quaternionToMatrix(q); }
  // One key per animation frame in each list (any list may be empty); the object plays
  // them from now on. The key count is that of the last non-empty list.
  void setKeys(std::vector<glm::vec3> positions, std::vector<glm::quat> rotations,
               std::vector<glm::vec3> scales, int frameDuration);
  // position + offset: what cameras, lights, look-at targets and the shaders take as the
  // object's place (not the world matrix).
  glm::vec3 getPosition() const { return position + offset; }

  // [SECTION] The tree
  SceneObject* getParent() const { return parent; }
  SceneObject* getFirstChild() const { return firstChild; }
  SceneObject* getNextSibling() const { return nextSibling; }
  SceneObject* getPreviousSibling() const { return previousSibling; }
  // Appends `child` as the last child / `sibling` as the last sibling of this object.
  void appendChild(SceneObject* child);
  void appendSibling(SceneObject* sibling);
  // Objects a clone copied below itself, owned by the clone until a scene adopts it.
  std::vector<std::unique_ptr<SceneObject>> takeClonedDescendants();

  // [SECTION] Virtual operations
  // A deep copy of this object and its subtree, every id + 10000, without siblings.
  virtual std::unique_ptr<SceneObject> clone() const;
  // Visits this object, then (intoChildren) the subtree, then (intoSiblings) the siblings.
  virtual void accept(SceneVisitor& visitor, bool intoChildren, bool intoSiblings);
  // Samples the keys at frame + fraction when keyed.
  virtual void animate(int frame, float fraction);
  // World matrices of this object, its subtree and its next siblings under `parentMatrix`.
  virtual void updateTransform(const glm::mat4& parentMatrix = glm::mat4(1.0f));
  // The world matrix on the current modelview around drawGeometry / drawShadowGeometry /
  // drawDepthGeometry; invisible objects draw nothing.
  virtual void draw();
  virtual void drawShadowReceiver();
  virtual void drawDepth();
  // Draws this object, its subtree and its next siblings, composing the transforms on the
  // current modelview as it goes (no world matrices); the modelview is unchanged after.
  virtual void drawHierarchy();
  // Forwarding operations: the subtree when intoChildren, the next siblings (with their
  // subtrees when intoChildren) when intoSiblings. Meshes act on themselves as well.
  virtual void bindToScene(Scene* scene);
  virtual void setCastShadows(bool on, bool intoChildren, bool intoSiblings);
  virtual void setPassFlag(bool on, bool intoChildren, bool intoSiblings);
  // An empty file name takes the program away.
  virtual void setVertexProgram(const std::string& fileName, bool intoChildren, bool intoSiblings);
  virtual void setFragmentProgram(const std::string& fileName, bool intoChildren, bool intoSiblings);
  virtual void setMaterial(Material* material);  // children and siblings
  void setCubeMap(Texture* texture);             // this object's material, when it has one
  virtual Material* getMaterial() const { return nullptr; }
  virtual void setShadeModel(int model);
  virtual void setFragmentFactorKey(uint32_t time, float f0, float f1, float f2, float f3) {}
  virtual void setVertexFactorKey(uint32_t time, float f0, float f1, float f2, float f3) {}
  virtual void drawGeometry() {}
  // Meshes take the spot shadow of the lit pass themselves (LitPassShadow); any other object
  // draws with its stage out of the way.
  virtual bool takesLitPassShadow() const { return false; }
  virtual void drawShadowGeometry() {}
  virtual void drawDepthGeometry() { noDepthPass = true; }

  // [SECTION] Fields
  std::string name;
  int id;
  glm::mat4 rotation{1.0f};
  glm::mat4 world{1.0f};  // written by updateTransform
  glm::vec3 eulerDegrees{0.0f};
  glm::vec3 position{0.0f};
  glm::vec3 scale{1.0f};
  glm::vec3 pivot{1.0f};   // from the file; not part of the transform
  glm::vec3 offset{0.0f};  // added to position (the scene effect's pulse)
  glm::mat4 extraMatrix{1.0f};
  bool extraMatrixOn = false;
  glm::vec3 markerScale{1.0f};
  std::vector<glm::vec3> positionKeys;
  std::vector<glm::quat> rotationKeys;
  std::vector<glm::vec3> scaleKeys;
  int keyCount = 0;
  int frameDuration = 0;
  int animationMode = 0;
  bool visible = true;
  bool showMarker = false;
  bool childrenInherit = false;
  bool noDepthPass = false;
  glm::vec3 extraScale{0.0f};
  bool extraScaleOn = false;
  // Extent of the geometry in object space (meshes fill it when they build their arrays);
  // known when boundsKnown is set, for objects whose drawing stays inside it.
  glm::vec3 boundsMin{0.0f};
  glm::vec3 boundsMax{0.0f};
  bool boundsKnown = false;

 protected:
  // Copies the fields; the copy starts outside any tree and owns nothing.
  SceneObject(const SceneObject& other);
  // A copy of this object alone (the derived class's copy constructor).
  virtual std::unique_ptr<SceneObject> copyNode() const;
  // The composed matrix of this node, without the extra scale.
  glm::mat4 localMatrix(const glm::mat4& parentMatrix) const;
  // Set while a sibling chain is being walked (see forward), per thread.
  class SiblingWalk {
   public:
    explicit SiblingWalk(bool on) : saved(active) { active = on; }
    ~SiblingWalk() { active = saved; }
    SiblingWalk(const SiblingWalk&) = delete;
    SiblingWalk& operator=(const SiblingWalk&) = delete;
    static bool inside() { return active; }

   private:
    static thread_local bool active;
    bool saved;
  };

  // The forwarding rule of the operations above.
  template <class F>
  void forward(bool intoChildren, bool intoSiblings, F&& apply);

  SceneObject* parent = nullptr;
  SceneObject* firstChild = nullptr;
  SceneObject* nextSibling = nullptr;
  SceneObject* previousSibling = nullptr;

 private:
  void drawHierarchyFrom(const glm::mat4& base);
  // drawGeometry within a pass that may have a spot shadow stage in effect.
  void drawGeometryInPass();
  void drawMarker() const;

  std::vector<std::unique_ptr<SceneObject>> clonedDescendants;
};

template <class F>
void SceneObject::forward(bool intoChildren, bool intoSiblings, F&& apply) {
  // Every child is reached through the first child's siblings, so the subtree is passed
  // on whole; the siblings carry the caller's wish for their own subtrees. The siblings are
  // walked in a loop, not each by the one before it: a chain of many thousand top-level
  // objects would otherwise nest as deep as it is long. An object the walk reaches leaves
  // its later siblings to the walk.
  if (intoChildren && firstChild) {
    const SiblingWalk subtree(false);
    apply(*firstChild, true, true);
  }
  if (!intoSiblings || SiblingWalk::inside()) return;
  const SiblingWalk walk(true);
  for (SceneObject* sibling = nextSibling; sibling; sibling = sibling->nextSibling) apply(*sibling, intoChildren, true);
}

// [SECTION] Light

class Light : public SceneObject {
 public:
  Light(int id, const std::string& name);

  // ambient = 0.3 × c, diffuse = specular = c.
  void setColour(const glm::vec4& c);
  // Stores the switch and enables or disables the GL light at once.
  void setEnabled(bool on);
  // Off: diffuse goes back to flickerBase at once.
  void setFlicker(bool on);
  // Cut-off in degrees (values above 90 other than 180 become 90, negative ones 0) and
  // exponent (clamped to 0..128), the ranges GL accepts.
  void setSpot(float cutoff, float exponent);
  // Enabled lights: the three colours into the GL light; then the GL light follows the switch.
  void updateGLColours();
  // Positions the GL light on the current modelview (the camera's); see Scene.h.
  void apply();
  // GL_LIGHT0 + glIndex, or 0 when the index is beyond the GL's lights.
  GLenum glLight() const;

  glm::vec4 flickerBase{1.0f};
  glm::vec4 ambient{0.2f, 0.2f, 0.2f, 1.0f};
  glm::vec4 diffuse{0.8f, 0.8f, 0.8f, 1.0f};
  glm::vec4 specular{1.0f};
  float constantAttenuation = 1.0f;
  float linearAttenuation = 0.0f;
  float quadraticAttenuation = 0.0f;
  float spotCutoff = 180.0f;
  float spotExponent = 0.0f;
  int glIndex = 0;
  int targetId = -1;
  SceneObject* target = nullptr;
  bool enabled = true;
  bool flicker = false;
  Texture* projectorMap = nullptr;

 protected:
  Light(const Light&) = default;
  std::unique_ptr<SceneObject> copyNode() const override;

 private:
  int maxLights = 8;  // GL_MAX_LIGHTS, asked at construction
};

// [SECTION] Camera

class Camera : public SceneObject {
 public:
  Camera(int id, const std::string& name);

  // Projection = perspective(fovY, aspect, near, far); with a target, the look-at from
  // getPosition() to the target's on the current modelview. Leaves the modelview mode.
  void apply() const;
  glm::mat4 projectionMatrix() const;
  // The up vector: elements 4–6 of `matrix`.
  glm::vec3 up() const { return glm::vec3(matrix[1]); }

  int targetId = -1;
  SceneObject* target = nullptr;
  glm::mat4 matrix{1.0f};
  float aspect = 1.333f;
  float fovY = 45.0f;
  float fileFovY = 45.0f;  // fovY as the scene file gave it (Scene::resetCameras)
  float nearPlane = 1.0f;
  float farPlane = 2000.0f;
  // Focus distances of the depth-information pass, as fractions of the far plane.
  float focalPoint = 0.5f;
  float focalNear = 0.1f;
  float focalFar = 0.8f;
  float focalClamp = 1.0f;

 protected:
  Camera(const Camera&) = default;
  std::unique_ptr<SceneObject> copyNode() const override;
};
