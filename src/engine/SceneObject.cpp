#include "engine/SceneObject.h"

#include <algorithm>
#include <cmath>

#include "base/Random.h"
#include "engine/LitPassShadow.h"
#include "engine/Material.h"

// Index
// [SECTION] Matrix helpers
// [SECTION] SceneObject: setters and the tree
// [SECTION] SceneObject: clone, visit, animate
// [SECTION] SceneObject: transforms and drawing
// [SECTION] SceneObject: forwarding operations
// [SECTION] Light
// [SECTION] Camera

// [SECTION] Matrix helpers

glm::mat4 quaternionToMatrix(const glm::quat& q) {
  const float x = q.x, y = q.y, z = q.z, w = q.w;
  const float n = x * x + y * y + z * z + w * w;
  const float f = n < 1.1920929e-7f ? 1.0f : 2.0f / n;
  // Written element by element in GL order (m[column][row]): this is the transpose of
  // glm::mat4_cast(q), and the exported animations are built on it.
  glm::mat4 m(1.0f);
  m[0][0] = 1.0f - f * (y * y + z * z);
  m[0][1] = f * (x * y - w * z);
  m[0][2] = f * (x * z + w * y);
  m[1][0] = f * (x * y + w * z);
  m[1][1] = 1.0f - f * (x * x + z * z);
  m[1][2] = f * (y * z - w * x);
  m[2][0] = f * (x * z - w * y);
  m[2][1] = f * (y * z + w * x);
  m[2][2] = 1.0f - f * (x * x + y * y);
  return m;
}

glm::mat4 eulerDegreesToMatrix(float xDegrees, float yDegrees, float zDegrees) {
  // The angle conversion of the scene code: degrees × (1/180 as a float) × π.
  constexpr float kDegreeFactor = 0.0055555557f * glm::pi<float>();
  const float ax = xDegrees * kDegreeFactor, ay = yDegrees * kDegreeFactor, az = zDegrees * kDegreeFactor;
  const float cx = std::cos(ax), sx = std::sin(ax);
  const float cy = std::cos(ay), sy = std::sin(ay);
  const float cz = std::cos(az), sz = std::sin(az);
  glm::mat4 m(1.0f);
  m[0][0] = cy * cz;
  m[0][1] = cx * sz + sx * sy * cz;
  m[0][2] = sx * sz - cx * sy * cz;
  m[1][0] = -cy * sz;
  m[1][1] = cx * cz - sx * sy * sz;
  m[1][2] = sx * cz + cx * sy * sz;
  m[2][0] = sy;
  m[2][1] = -sx * cy;
  m[2][2] = cx * cy;
  return m;
}

glm::quat slerpKeys(const glm::quat& a, const glm::quat& b, float fraction) {
  const float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  const float absD = std::fabs(d);
  float wa = 1.0f - fraction;
  float wb = fraction;
  if (1.0f - absD >= 1e-6f) {
    const float theta = std::acos(std::min(absD, 1.0f));
    const float sinTheta = std::sin(theta);
    wa = std::sin(theta - fraction * theta) / sinTheta;
    wb = std::sin(fraction * theta) / sinTheta;
  }
  if (d < 0.0f) wb = -wb;  // the shorter arc
  // Not renormalised: quaternionToMatrix divides by the squared norm.
  return glm::quat(wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z);
}

glm::mat4 perspectiveMatrix(float fovYDegrees, float aspect, float nearPlane, float farPlane) {
  if (!(aspect > 0.0f)) aspect = 1.0f;
  // gluPerspective's arithmetic, in double, with its early return on a degenerate frustum.
  const double radians = fovYDegrees / 2.0 * M_PI / 180.0;
  const double sine = std::sin(radians);
  const double deltaZ = double(farPlane) - double(nearPlane);
  if (deltaZ == 0.0 || sine == 0.0) return glm::mat4(1.0f);
  const double cotangent = std::cos(radians) / sine;
  glm::mat4 m(0.0f);
  m[0][0] = static_cast<float>(cotangent / aspect);
  m[1][1] = static_cast<float>(cotangent);
  m[2][2] = static_cast<float>(-(double(farPlane) + double(nearPlane)) / deltaZ);
  m[2][3] = -1.0f;
  m[3][2] = static_cast<float>(-2.0 * double(nearPlane) * double(farPlane) / deltaZ);
  return m;
}

namespace {

// gluLookAt's normalisation: a zero vector stays zero instead of becoming NaN.
glm::vec3 normalizeOrZero(const glm::vec3& v) {
  const float length = glm::length(v);
  return length == 0.0f ? v : v / length;
}

}  // namespace

glm::mat4 lookAtMatrix(const glm::vec3& eye, const glm::vec3& centre, const glm::vec3& up) {
  const glm::vec3 forward = normalizeOrZero(centre - eye);
  glm::vec3 side = glm::cross(forward, up);
  if (glm::length(side) < 1e-6f * glm::length(up) && glm::length(forward) > 0.0f) {
    // Up along the viewing direction: take the axis the direction has least of.
    const glm::vec3 a = glm::abs(forward);
    const glm::vec3 other = a.x <= a.y && a.x <= a.z ? glm::vec3(1, 0, 0)
                            : a.y <= a.z             ? glm::vec3(0, 1, 0)
                                                     : glm::vec3(0, 0, -1);
    side = glm::cross(forward, other);
  }
  side = normalizeOrZero(side);
  const glm::vec3 upward = glm::cross(side, forward);
  glm::mat4 m(1.0f);
  m[0][0] = side.x;
  m[1][0] = side.y;
  m[2][0] = side.z;
  m[0][1] = upward.x;
  m[1][1] = upward.y;
  m[2][1] = upward.z;
  m[0][2] = -forward.x;
  m[1][2] = -forward.y;
  m[2][2] = -forward.z;
  return glm::translate(m, -eye);
}

int integerAspect(int width, int height) {
  if (height <= 0) return 1;
  return std::max(1, width / height);
}

// [SECTION] SceneObject: setters and the tree

SceneObject::SceneObject(int id, const std::string& name) : name(name), id(id) {}

SceneObject::~SceneObject() = default;

SceneObject::SceneObject(const SceneObject& other)
    : name(other.name),
      id(other.id),
      rotation(other.rotation),
      world(other.world),
      eulerDegrees(other.eulerDegrees),
      position(other.position),
      scale(other.scale),
      pivot(other.pivot),
      offset(other.offset),
      extraMatrix(other.extraMatrix),
      extraMatrixOn(other.extraMatrixOn),
      markerScale(other.markerScale),
      positionKeys(other.positionKeys),
      rotationKeys(other.rotationKeys),
      scaleKeys(other.scaleKeys),
      keyCount(other.keyCount),
      frameDuration(other.frameDuration),
      animationMode(other.animationMode),
      visible(other.visible),
      showMarker(other.showMarker),
      childrenInherit(other.childrenInherit),
      noDepthPass(other.noDepthPass),
      extraScale(other.extraScale),
      extraScaleOn(other.extraScaleOn),
      boundsMin(other.boundsMin),
      boundsMax(other.boundsMax) {}

void SceneObject::setExtraMatrix(const glm::mat4& m) {
  extraMatrix = m;
  extraMatrixOn = true;
}

void SceneObject::setExtraScale(const glm::vec3& s, bool on) {
  extraScale = s;
  extraScaleOn = on;
}

void SceneObject::setRotationDegrees(float x, float y, float z) {
  eulerDegrees = glm::vec3(x, y, z);
  rotation = eulerDegreesToMatrix(x, y, z);
}

void SceneObject::setRotationMatrix(const float matrix[16]) { rotation = demo_math::fromGl(matrix); }

void SceneObject::setKeys(std::vector<glm::vec3> positions, std::vector<glm::quat> rotations,
                          std::vector<glm::vec3> scales, int duration) {
  positionKeys = std::move(positions);
  rotationKeys = std::move(rotations);
  scaleKeys = std::move(scales);
  keyCount = 0;
  for (const size_t n : {positionKeys.size(), rotationKeys.size(), scaleKeys.size()})
    if (n > 0) keyCount = static_cast<int>(n);
  frameDuration = duration;
  animationMode = kKeyed;
}

void SceneObject::appendChild(SceneObject* child) {
  if (!firstChild) {
    firstChild = child;
    child->parent = this;
    child->previousSibling = nullptr;
    return;
  }
  firstChild->appendSibling(child);
}

void SceneObject::appendSibling(SceneObject* sibling) {
  SceneObject* last = this;
  while (last->nextSibling) last = last->nextSibling;
  last->nextSibling = sibling;
  sibling->previousSibling = last;
  sibling->parent = parent;
}

std::vector<std::unique_ptr<SceneObject>> SceneObject::takeClonedDescendants() {
  return std::move(clonedDescendants);
}

// [SECTION] SceneObject: clone, visit, animate

std::unique_ptr<SceneObject> SceneObject::copyNode() const {
  return std::unique_ptr<SceneObject>(new SceneObject(*this));
}

std::unique_ptr<SceneObject> SceneObject::clone() const {
  // A copy that kept the links would share this object's children and join its sibling
  // chain, which makes a cycle as soon as the copy is appended next to it.
  std::unique_ptr<SceneObject> copy = copyNode();
  copy->id = id + kCloneIdOffset;
  for (const SceneObject* child = firstChild; child; child = child->nextSibling) {
    std::unique_ptr<SceneObject> childCopy = child->clone();
    copy->appendChild(childCopy.get());
    std::vector<std::unique_ptr<SceneObject>> below = childCopy->takeClonedDescendants();
    copy->clonedDescendants.push_back(std::move(childCopy));
    for (auto& object : below) copy->clonedDescendants.push_back(std::move(object));
  }
  return copy;
}

thread_local bool SceneObject::SiblingWalk::active = false;

void SceneObject::accept(SceneVisitor& visitor, bool intoChildren, bool intoSiblings) {
  visitor.visit(*this);
  if (!intoChildren) return;
  if (firstChild) {
    const SiblingWalk subtree(false);
    firstChild->accept(visitor, intoChildren, intoSiblings);
  }
  // The siblings in a loop, as forward walks them.
  if (!intoSiblings || SiblingWalk::inside()) return;
  const SiblingWalk walk(true);
  for (SceneObject* sibling = nextSibling; sibling; sibling = sibling->nextSibling)
    sibling->accept(visitor, intoChildren, intoSiblings);
}

namespace {

// The lists of one object may be of different lengths (one position key and a hundred
// rotation keys), so each list is read at its own index, clamped to its own last key;
// from its last key on a list holds that key.
template <class T, class Mix>
T sampleList(const std::vector<T>& keys, int frame, float fraction, Mix&& mix) {
  const int last = static_cast<int>(keys.size()) - 1;
  const int a = std::clamp(frame, 0, last);
  if (a == last) return keys[static_cast<size_t>(a)];
  return mix(keys[static_cast<size_t>(a)], keys[static_cast<size_t>(a) + 1], fraction);
}

}  // namespace

void SceneObject::animate(int frame, float fraction) {
  if (animationMode != kKeyed || keyCount <= 0) return;
  // Each list clamps the frame itself (keyCount is the length of only one of them).
  const auto lerp = [](const glm::vec3& p, const glm::vec3& q, float f) { return glm::mix(p, q, f); };
  if (!positionKeys.empty()) position = sampleList(positionKeys, frame, fraction, lerp);
  if (!rotationKeys.empty()) rotation = quaternionToMatrix(sampleList(rotationKeys, frame, fraction, slerpKeys));
  if (!scaleKeys.empty()) scale = sampleList(scaleKeys, frame, fraction, lerp);
}

// [SECTION] SceneObject: transforms and drawing

glm::mat4 SceneObject::localMatrix(const glm::mat4& parentMatrix) const {
  glm::mat4 m = glm::translate(parentMatrix, offset + position);
  if (extraMatrixOn) m *= extraMatrix;
  m *= rotation;
  return glm::scale(m, scale);
}

void SceneObject::updateTransform(const glm::mat4& parentMatrix) {
  // Siblings in a loop, children by recursion: the depth of the recursion is the depth of
  // the tree, not the length of a sibling chain.
  for (SceneObject* object = this; object; object = object->nextSibling) {
    const glm::mat4 m = object->localMatrix(parentMatrix);
    object->world = object->extraScaleOn ? glm::scale(m, glm::vec3(1.0f) + object->extraScale) : m;
    if (object->firstChild) object->firstChild->updateTransform(object->childrenInherit ? m : parentMatrix);
  }
}

void SceneObject::draw() {
  if (!visible) return;
  glPushMatrix();
  glMultMatrixf(glm::value_ptr(world));
  drawGeometryInPass();
  glPopMatrix();
}

void SceneObject::drawGeometryInPass() {
  LitPassShadow* shadow = takesLitPassShadow() ? nullptr : LitPassShadow::active();
  if (shadow) shadow->standAside();
  drawGeometry();
  if (shadow) shadow->forget();
}

void SceneObject::drawShadowReceiver() {
  if (!visible) return;
  glPushMatrix();
  glMultMatrixf(glm::value_ptr(world));
  drawShadowGeometry();
  glPopMatrix();
}

void SceneObject::drawDepth() {
  if (!visible || noDepthPass) return;
  glPushMatrix();
  glMultMatrixf(glm::value_ptr(world));
  drawDepthGeometry();
  glPopMatrix();
}

void SceneObject::drawHierarchy() {
  float current[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, current);
  const glm::mat4 base = demo_math::fromGl(current);
  drawHierarchyFrom(base);
  glLoadMatrixf(current);
}

void SceneObject::drawHierarchyFrom(const glm::mat4& base) {
  // The matrices are composed here rather than on GL's modelview stack, whose depth (32 on
  // some drivers) a deep chain of inheriting children would exceed.
  for (SceneObject* object = this; object; object = object->nextSibling) {
    glm::mat4 m = glm::translate(base, object->offset);
    if (object->extraMatrixOn) m *= object->extraMatrix;
    m = glm::translate(m, object->position);
    m *= object->rotation;
    m = glm::scale(m, object->scale);
    // This pass always applies the extra scale, switched on or not (0 leaves the size).
    const glm::mat4 drawn = glm::scale(m, glm::vec3(1.0f) + object->extraScale);
    if (object->visible || object->showMarker) {
      glLoadMatrixf(glm::value_ptr(drawn));
      if (object->visible) object->drawGeometryInPass();
      if (object->showMarker) object->drawMarker();
    }
    if (object->firstChild) object->firstChild->drawHierarchyFrom(object->childrenInherit ? m : base);
  }
}

void SceneObject::drawMarker() const {
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_LINES);
  glColor3f(1, 0, 0);
  glVertex3f(0, 0, 0);
  glVertex3f(markerScale.x, 0, 0);
  glColor3f(0, 1, 0);
  glVertex3f(0, 0, 0);
  glVertex3f(0, markerScale.y, 0);
  glColor3f(0, 0, 1);
  glVertex3f(0, 0, 0);
  glVertex3f(0, 0, markerScale.z);
  glEnd();
  glPopAttrib();
}

// [SECTION] SceneObject: forwarding operations

void SceneObject::bindToScene(Scene* scene) {
  forward(true, true, [scene](SceneObject& o, bool, bool) { o.bindToScene(scene); });
}

void SceneObject::setCastShadows(bool on, bool intoChildren, bool intoSiblings) {
  forward(intoChildren, intoSiblings, [on](SceneObject& o, bool c, bool s) { o.setCastShadows(on, c, s); });
}

void SceneObject::setPassFlag(bool on, bool intoChildren, bool intoSiblings) {
  forward(intoChildren, intoSiblings, [on](SceneObject& o, bool c, bool s) { o.setPassFlag(on, c, s); });
}

void SceneObject::setVertexProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) {
  forward(intoChildren, intoSiblings,
          [&fileName](SceneObject& o, bool c, bool s) { o.setVertexProgram(fileName, c, s); });
}

void SceneObject::setFragmentProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) {
  forward(intoChildren, intoSiblings,
          [&fileName](SceneObject& o, bool c, bool s) { o.setFragmentProgram(fileName, c, s); });
}

void SceneObject::setMaterial(Material* material) {
  forward(true, true, [material](SceneObject& o, bool, bool) { o.setMaterial(material); });
}

void SceneObject::setCubeMap(Texture* texture) {
  if (Material* material = getMaterial()) material->setCubeMap(texture);
}

void SceneObject::setShadeModel(int model) {
  forward(true, true, [model](SceneObject& o, bool, bool) { o.setShadeModel(model); });
}

// [SECTION] Light

Light::Light(int id, const std::string& name) : SceneObject(id, name) {
  GLint count = 0;
  glGetIntegerv(GL_MAX_LIGHTS, &count);
  if (count > 0) maxLights = count;
}

std::unique_ptr<SceneObject> Light::copyNode() const { return std::unique_ptr<SceneObject>(new Light(*this)); }

GLenum Light::glLight() const {
  return glIndex >= 0 && glIndex < maxLights ? static_cast<GLenum>(GL_LIGHT0 + glIndex) : 0;
}

void Light::setColour(const glm::vec4& c) {
  ambient = 0.3f * c;
  diffuse = c;
  specular = c;
}

void Light::setEnabled(bool on) {
  enabled = on;
  if (const GLenum light = glLight()) on ? glEnable(light) : glDisable(light);
}

void Light::setFlicker(bool on) {
  flicker = on;
  if (on) return;
  diffuse = flickerBase;
  if (const GLenum light = glLight()) glLightfv(light, GL_DIFFUSE, glm::value_ptr(diffuse));
}

void Light::setSpot(float cutoff, float exponent) {
  if (cutoff > 90.0f && cutoff != 180.0f) cutoff = 90.0f;
  if (cutoff < 0.0f) cutoff = 0.0f;
  spotCutoff = cutoff;
  spotExponent = std::clamp(exponent, 0.0f, 128.0f);
}

void Light::updateGLColours() {
  const GLenum light = glLight();
  if (!light) return;
  if (enabled) {
    glLightfv(light, GL_AMBIENT, glm::value_ptr(ambient));
    glLightfv(light, GL_DIFFUSE, glm::value_ptr(diffuse));
    glLightfv(light, GL_SPECULAR, glm::value_ptr(specular));
  }
  enabled ? glEnable(light) : glDisable(light);
}

void Light::apply() {
  const GLenum light = glLight();
  if (!light) return;
  if (!enabled) {
    glDisable(light);
    return;
  }
  if (flicker) {
    // 3.0518509e-5 = 1 / 32767: a brightness between 0 and 1 from the 15-bit generator.
    const float level = static_cast<float>(demoRand()) * 3.0518509e-5f;
    diffuse = flickerBase * level;
    glLightfv(light, GL_DIFFUSE, glm::value_ptr(diffuse));
  }
  glEnable(light);
  const glm::vec4 where(getPosition(), 1.0f);
  glLightfv(light, GL_POSITION, glm::value_ptr(where));
  glLightf(light, GL_CONSTANT_ATTENUATION, constantAttenuation);
  glLightf(light, GL_LINEAR_ATTENUATION, linearAttenuation);
  glLightf(light, GL_QUADRATIC_ATTENUATION, quadraticAttenuation);
  if (target) {
    // A light aimed at a target only drives the shadows.
    glDisable(light);
    return;
  }
  const glm::vec3 direction(0.0f, 0.0f, -1.0f);
  glLightfv(light, GL_SPOT_DIRECTION, glm::value_ptr(direction));
  glLightf(light, GL_SPOT_CUTOFF, spotCutoff);
  glLightf(light, GL_SPOT_EXPONENT, spotExponent);
}

// [SECTION] Camera

Camera::Camera(int id, const std::string& name) : SceneObject(id, name) { position = glm::vec3(0, 0, 5); }

std::unique_ptr<SceneObject> Camera::copyNode() const { return std::unique_ptr<SceneObject>(new Camera(*this)); }

glm::mat4 Camera::projectionMatrix() const { return perspectiveMatrix(fovY, aspect, nearPlane, farPlane); }

void Camera::apply() const {
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(glm::value_ptr(projectionMatrix()));
  glMatrixMode(GL_MODELVIEW);
  if (target) glMultMatrixf(glm::value_ptr(lookAtMatrix(getPosition(), target->getPosition(), up())));
}
