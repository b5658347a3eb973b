// The conversion itself. Index:
//   [SECTION] Node transforms over time
//   [SECTION] Names
//   [SECTION] The converter: set-up, bounding box, materials, meshes
//   [SECTION] Cameras
//   [SECTION] Lights
//   [SECTION] What a model without camera or light gets
//   [SECTION] Entry points
//
// The engine places every object by its own transform in world space (a parent passes its
// transform on only when a script asks it to), so each node is written with its world
// transform, and animated nodes with one world-space key per frame; the parent links keep
// the node hierarchy and its names. The importer's output is right-handed with y up, the
// engine's convention; a file that says its up axis is z is turned upright.

#include "modelImport/ModelConverter.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "modelImport/GltfCameras.h"

namespace modelimport {

namespace {

constexpr int kVertexLimit = 65535;      // the engine draws with 16-bit indices
constexpr int kEngineLights = 8;         // GL_MAX_LIGHTS of every driver the engine meets
constexpr float kDefaultFovY = 45.0f;    // the lens of "Camera01" and of converted orthographic views
constexpr float kOrthographicFovY = 30.0f;
constexpr float kLookElevation = 20.0f;  // "Camera01" looks down at the model by this much (degrees)
constexpr float kSpotTolerance = 2.0f;   // degrees a spot light may aim away from −z and stay a spot
constexpr float kFarAway = 100.0f;       // directional lights stand this many model radii away
constexpr float kVerticalTilt = 1.0f;    // degrees a camera looking straight up or down is tilted
constexpr float kSmallestShare = 0.005f; // of the picture, that a camera must give the model's box

using Frames = std::vector<glm::mat4>;

glm::mat4 toGlm(const aiMatrix4x4& m) {
  // aiMatrix4x4 is row-major: a1..a4 is the first row.
  return glm::mat4(m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4);
}

glm::vec3 toGlm(const aiVector3D& v) { return {v.x, v.y, v.z}; }

glm::vec3 point(const glm::mat4& m, glm::vec3 p) { return glm::vec3(m * glm::vec4(p, 1.0f)); }

glm::vec3 direction(const glm::mat4& m, glm::vec3 d) {
  const glm::vec3 v(m * glm::vec4(d, 0.0f));
  const float length = glm::length(v);
  return length > 0.0f ? v / length : glm::vec3(0.0f, 0.0f, -1.0f);
}

float degrees(float radians) { return radians * 180.0f / kPi; }

std::string number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// [SECTION] Node transforms over time

template <class K>
size_t keyBefore(const K* keys, unsigned count, double ticks) {
  size_t i = 0;
  while (i + 1 < count && keys[i + 1].mTime <= ticks) ++i;
  return i;
}

aiVector3D sampleVector(const aiVectorKey* keys, unsigned count, double ticks) {
  const size_t i = keyBefore(keys, count, ticks);
  if (i + 1 >= count || ticks <= keys[i].mTime) return keys[i].mValue;
  const double f = (ticks - keys[i].mTime) / (keys[i + 1].mTime - keys[i].mTime);
  return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * static_cast<float>(f);
}

aiQuaternion sampleRotation(const aiQuatKey* keys, unsigned count, double ticks) {
  const size_t i = keyBefore(keys, count, ticks);
  if (i + 1 >= count || ticks <= keys[i].mTime) return keys[i].mValue;
  const double f = (ticks - keys[i].mTime) / (keys[i + 1].mTime - keys[i].mTime);
  aiQuaternion q;
  aiQuaternion::Interpolate(q, keys[i].mValue, keys[i + 1].mValue, static_cast<float>(f));
  return q.Normalize();
}

struct Animation {
  const aiAnimation* animation = nullptr;
  std::map<std::string, const aiNodeAnim*> channels;
  double ticksPerSecond = 25.0;
};

aiMatrix4x4 localAt(const aiNode* node, const Animation& anim, double seconds) {
  auto found = anim.channels.find(node->mName.C_Str());
  if (found == anim.channels.end()) return node->mTransformation;
  const aiNodeAnim* ch = found->second;
  const double ticks = seconds * anim.ticksPerSecond;
  aiVector3D baseScale, basePosition;
  aiQuaternion baseRotation;
  node->mTransformation.Decompose(baseScale, baseRotation, basePosition);
  const aiVector3D position =
      ch->mNumPositionKeys ? sampleVector(ch->mPositionKeys, ch->mNumPositionKeys, ticks) : basePosition;
  const aiQuaternion rotation =
      ch->mNumRotationKeys ? sampleRotation(ch->mRotationKeys, ch->mNumRotationKeys, ticks) : baseRotation;
  const aiVector3D scaling = ch->mNumScalingKeys ? sampleVector(ch->mScalingKeys, ch->mNumScalingKeys, ticks) : baseScale;
  return aiMatrix4x4(scaling, rotation, position);
}

// [SECTION] Names

// A name the importer made up rather than read: glTF's "nodes[3]" and "meshes[0]" (and
// "meshes[0]-1" for a mesh's second part), "<3DSRoot>", "$ColladaAutoName$_4", "_$AssimpFbx$",
// and bare numbers (the 3DS reader numbers its meshes).
bool isPlaceholder(const std::string& name) {
  if (name.empty() || name[0] == '$' || name[0] == '<' || name.find("$Assimp") != std::string::npos) return true;
  if (std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    return true;
  const size_t open = name.find('[');
  if (open == std::string::npos || open == 0) return false;
  for (size_t i = 0; i < open; ++i)
    if (!std::isalpha(static_cast<unsigned char>(name[i]))) return false;
  size_t close = open + 1;
  while (close < name.size() && std::isdigit(static_cast<unsigned char>(name[close]))) ++close;
  if (close == open + 1 || close >= name.size() || name[close] != ']') return false;
  // Nothing more, or a part number after '-'.
  if (close + 1 == name.size()) return true;
  if (name[close + 1] != '-' || close + 2 >= name.size()) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(close) + 2, name.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The importer splits a mesh into one mesh per part (per material, per primitive type)
// named "<mesh>-<n>": the name the parts share, or "" when they share none.
std::string sharedMeshName(const std::vector<const aiMesh*>& meshes) {
  std::string shared;
  for (const aiMesh* mesh : meshes) {
    std::string name = mesh->mName.C_Str();
    const size_t dash = name.rfind('-');
    if (meshes.size() > 1 && dash != std::string::npos && dash + 1 < name.size() &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(dash) + 1, name.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      name.resize(dash);
    if (isPlaceholder(name)) return "";
    if (shared.empty()) shared = name;
    else if (shared != name) return "";
  }
  return shared;
}

// [SECTION] The converter: set-up, bounding box, materials, meshes

class Converter {
 public:
  Converter(const aiScene& scene, const ConvertOptions& options, NoteSink note, const std::string& extension,
            std::optional<std::vector<GltfCamera>> gltfCameras, PictureCollector& pictures)
      : scene(scene), options(options), note(std::move(note)), gltf(extension == ".gltf" || extension == ".glb"),
        blender(extension == ".blend"), gltfCameras(std::move(gltfCameras)), pictures(pictures) {}

  bool run(ConvertedModel& out);

 private:
  struct Placement {
    glm::vec3 position;
    glm::vec4 rotation;  // the file's form (see decompose)
    glm::vec3 scale;
  };
  // What later steps need of a written camera or light, one entry per frame.
  struct Track {
    std::string name;
    std::vector<glm::vec3> from;
    std::vector<glm::vec3> towards;  // a camera's target; a light's direction
  };
  struct WrittenCamera {
    Track track;
    float fovY = kDefaultFovY;
    float nearPlane = 1.0f, farPlane = 2000.0f;
  };
  struct WrittenLight {
    std::string fileName;
    Track track;
    aiLightSourceType type;
    size_t record;  // index into the scene file's lights
  };
  struct WrittenMesh {
    size_t record;  // index into the scene file's meshes
    glm::mat4 world;  // at the first frame
  };

  void chooseAnimation();
  Frames worldFrames(const aiNode* node) const;
  void findUnitScale(const aiNode* node, float* found, bool* agreed);
  bool cameraTakesInTheModel() const;
  Frames placedFrames(const aiNode* node) const;
  Frames targetWorldFrames(const aiNode* camera, const aiNode* target) const;
  void measureBox(const aiNode* node);
  void convertMaterials();
  void convertNode(const aiNode* node, int parentId);
  std::vector<const aiMesh*> triangleMeshes(const aiNode* node) const;
  std::string objectName(const aiNode* node, const std::vector<const aiMesh*>& meshes, const char* kind);
  std::string uniqueName(const std::string& wanted);
  void writeMesh(const aiMesh* mesh, const std::string& name, int id, int parentId, const Frames& frames);
  static Placement decompose(const glm::mat4& m);
  void place(vkg::ObjectRecord& object, const Frames& frames);
  void placeAt(vkg::ObjectRecord& object, const std::vector<glm::vec3>& positions);
  void writeTarget(const std::string& ownerName, int id, int parentId, const std::vector<glm::vec3>& positions);

  void writeCamera(const aiNode* node, const aiCamera& camera, size_t index, const Frames& frames, int id,
                   int parentId);
  void writeLight(const aiNode* node, const aiLight& light, const Frames& frames, int id, int parentId);
  glm::vec3 frontDirection() const;
  bool seesModel(const WrittenCamera& camera) const;
  bool leavesDark(const WrittenCamera& camera) const;
  void addDefaultCamera(bool first);
  void addKeyLight(const char* reason);
  bool addShadowLight();

  const aiScene& scene;
  ConvertOptions options;
  NoteSink note;
  bool gltf;
  bool blender;
  std::optional<std::vector<GltfCamera>> gltfCameras;
  PictureCollector& pictures;
  vkg::SceneFile* file = nullptr;

  Animation anim;
  int frameCount = 1;
  int nextId = 1;
  glm::mat4 upright{1.0f};
  float scale = 1.0f;
  // The file's unit scale as its exporter wrote it into every mesh node's own scale (1: none).
  float unitScale = 1.0f;
  Box box;
  std::map<std::string, size_t> cameras;  // node name → index into scene.mCameras
  std::map<std::string, size_t> lights;
  std::set<std::string> names;
  std::map<std::string, int> placeholderCounts;
  std::vector<WrittenCamera> writtenCameras;
  std::optional<WrittenCamera> playing;  // the camera the scene starts with
  std::vector<WrittenLight> writtenLights;
  std::vector<WrittenMesh> writtenMeshes;
  int lightingLights = 0;
  std::string shadowLightName;
};

std::string Converter::uniqueName(const std::string& wanted) {
  std::string name = wanted.substr(0, vkg::kMaxString - 8);
  if (names.count(name)) {
    const std::string base = name;
    for (int i = 2; names.count(name); ++i) name = base + "." + std::to_string(i);
  }
  names.insert(name);
  return name;
}

std::string Converter::objectName(const aiNode* node, const std::vector<const aiMesh*>& meshes, const char* kind) {
  std::string name = node ? node->mName.C_Str() : "";
  if (isPlaceholder(name)) name = meshes.empty() ? "" : sharedMeshName(meshes);
  if (name.empty()) name = std::string(kind) + std::to_string(++placeholderCounts[kind]);
  return uniqueName(name);
}

void Converter::chooseAnimation() {
  if (scene.mNumAnimations == 0) return;
  anim.animation = scene.mAnimations[0];
  if (scene.mNumAnimations > 1)
    note("the model holds " + std::to_string(scene.mNumAnimations) + " animations; a .vkg file plays one: only \"" +
         std::string(anim.animation->mName.C_Str()) + "\" is kept");
  anim.ticksPerSecond = anim.animation->mTicksPerSecond > 0 ? anim.animation->mTicksPerSecond : 25.0;
  for (unsigned i = 0; i < anim.animation->mNumChannels; ++i)
    anim.channels[anim.animation->mChannels[i]->mNodeName.C_Str()] = anim.animation->mChannels[i];
  if (anim.animation->mNumMeshChannels || anim.animation->mNumMorphMeshChannels)
    note("mesh and morph animation cannot be stored: only node transforms are animated");
  const double seconds = anim.animation->mDuration / anim.ticksPerSecond;
  // A broken duration must not make millions of keys: at most ten minutes.
  frameCount = std::max(1, static_cast<int>(std::floor(std::min(seconds, 600.0) * options.fps + 1e-6)) + 1);
}

Frames Converter::worldFrames(const aiNode* node) const {
  Frames frames(static_cast<size_t>(frameCount));
  for (int f = 0; f < frameCount; ++f) {
    const double seconds = static_cast<double>(f) / options.fps;
    glm::mat4 m(1.0f);
    for (const aiNode* n = node; n; n = n->mParent)
      m = toGlm(anim.animation ? localAt(n, anim, seconds) : n->mTransformation) * m;
    frames[static_cast<size_t>(f)] = upright * m;
  }
  return frames;
}

namespace {

// A node's own scale when it is the same along every axis, else 0.
float uniformScaleOf(const aiMatrix4x4& m) {
  aiVector3D scaling, position;
  aiQuaternion rotation;
  m.Decompose(scaling, rotation, position);
  const float s = std::fabs(scaling.x);
  const float tolerance = 1e-4f * s;
  const bool uniform = std::fabs(std::fabs(scaling.y) - s) <= tolerance && std::fabs(std::fabs(scaling.z) - s) <= tolerance;
  return s > 0.0f && uniform ? s : 0.0f;
}

}  // namespace

// Some exporters (Blender's FBX export among them) write the file's unit scale into the
// own scale of every object, cameras and lights included. A mesh's vertices get it; the place
// of a camera or light does not (its node holds nothing to scale), which can leave them in
// other units than the meshes: a camera inside a model a hundred times its size. When every
// mesh node has the same uniform own scale, that may be the unit scale (see the choice in
// convert()).
void Converter::findUnitScale(const aiNode* node, float* found, bool* agreed) {
  if (node->mNumMeshes > 0 && node != scene.mRootNode) {
    const float own = uniformScaleOf(node->mTransformation);
    if (*found == 0.0f) *found = own;
    if (own == 0.0f || std::fabs(own - *found) > 1e-4f * *found) *agreed = false;
  }
  for (unsigned i = 0; i < node->mNumChildren && *agreed; ++i) findUnitScale(node->mChildren[i], found, agreed);
}

// Whether the file's first camera, where unitScale puts it, stands outside the model with the
// model's centre within its far plane: the view its author framed.
bool Converter::cameraTakesInTheModel() const {
  const aiCamera& camera = *scene.mCameras[0];
  const aiNode* node = scene.mRootNode->FindNode(camera.mName);
  if (!node || box.empty()) return true;
  const glm::vec3 eye = point(placedFrames(node).front(), toGlm(camera.mPosition));
  const bool inside = glm::all(glm::greaterThan(eye, box.min)) && glm::all(glm::lessThan(eye, box.max));
  const float far = camera.mClipPlaneFar * scale * unitScale;
  return !inside && (far <= 0.0f || glm::length(box.centre() - eye) < far);
}

// A camera's, light's or target's frames with the unit scale applied to its place, when its
// own scale is that unit scale: in the meshes' units.
Frames Converter::placedFrames(const aiNode* node) const {
  if (unitScale == 1.0f || std::fabs(uniformScaleOf(node->mTransformation) - unitScale) > 1e-4f * unitScale)
    return worldFrames(node);
  const Frames parent = node->mParent ? worldFrames(node->mParent) : Frames(static_cast<size_t>(frameCount), upright);
  Frames frames(static_cast<size_t>(frameCount));
  for (int f = 0; f < frameCount; ++f) {
    glm::mat4 local =
        toGlm(anim.animation ? localAt(node, anim, static_cast<double>(f) / options.fps) : node->mTransformation);
    local[3] = glm::vec4(glm::vec3(local[3]) * unitScale, 1.0f);
    frames[static_cast<size_t>(f)] = parent[static_cast<size_t>(f)] * local;
  }
  return frames;
}

// The box over every vertex at every frame (frames thinned out for long animations of big
// models: at most about four million vertex transforms).
void Converter::measureBox(const aiNode* node) {
  const std::vector<const aiMesh*> meshes = triangleMeshes(node);
  if (!meshes.empty()) {
    size_t vertices = 0;
    for (const aiMesh* m : meshes) vertices += m->mNumVertices;
    const Frames frames = worldFrames(node);
    const size_t step = std::max<size_t>(1, vertices * frames.size() / 4000000);
    for (size_t f = 0; f < frames.size(); f += step)
      for (const aiMesh* m : meshes)
        for (unsigned v = 0; v < m->mNumVertices; ++v) box.add(point(frames[f], toGlm(m->mVertices[v])));
    if ((frames.size() - 1) % step != 0)
      for (const aiMesh* m : meshes)
        for (unsigned v = 0; v < m->mNumVertices; ++v) box.add(point(frames.back(), toGlm(m->mVertices[v])));
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) measureBox(node->mChildren[i]);
}

// The ASE reader hangs a camera's target under the camera with the offset between the two
// positions as its translation, the camera's turn left out: the target's place is the
// camera's parent's transform after the two translations.
Frames Converter::targetWorldFrames(const aiNode* camera, const aiNode* target) const {
  if (target->mParent != camera) return placedFrames(target);
  Frames frames = camera->mParent ? worldFrames(camera->mParent) : Frames(static_cast<size_t>(frameCount), upright);
  for (int f = 0; f < frameCount; ++f) {
    const double seconds = static_cast<double>(f) / options.fps;
    const auto translation = [&](const aiNode* n) {
      const aiMatrix4x4 m = anim.animation ? localAt(n, anim, seconds) : n->mTransformation;
      return glm::vec3(m.a4, m.b4, m.c4);
    };
    frames[static_cast<size_t>(f)] =
        frames[static_cast<size_t>(f)] * glm::translate(glm::mat4(1.0f), translation(camera) + translation(target));
  }
  return frames;
}

Converter::Placement Converter::decompose(const glm::mat4& m) {
  Placement p;
  p.position = glm::vec3(m[3]);
  glm::vec3 axes[3] = {glm::vec3(m[0]), glm::vec3(m[1]), glm::vec3(m[2])};
  p.scale = glm::vec3(glm::length(axes[0]), glm::length(axes[1]), glm::length(axes[2]));
  if (glm::determinant(glm::mat3(m)) < 0) p.scale.x = -p.scale.x;  // a mirror stays a mirror
  glm::mat3 r;
  for (int i = 0; i < 3; ++i) r[i] = p.scale[i] != 0 ? axes[i] / p.scale[i] : glm::vec3(0.0f);
  const glm::quat q = glm::normalize(glm::quat_cast(r));
  // The engine turns by the transpose of the usual quaternion matrix: store the conjugate.
  p.rotation = glm::vec4(-q.x, -q.y, -q.z, q.w);
  return p;
}

void Converter::place(vkg::ObjectRecord& object, const Frames& frames) {
  const Placement first = decompose(frames.front());
  object.position = first.position;
  object.rotation = first.rotation;
  object.scale = first.scale;
  bool moves = false;
  for (const glm::mat4& m : frames) moves |= m != frames.front();
  if (!moves) return;
  for (const glm::mat4& m : frames) {
    const Placement p = decompose(m);
    object.positionKeys.push_back(p.position);
    object.rotationKeys.push_back(p.rotation);
    object.scaleKeys.push_back(p.scale);
  }
}

void Converter::placeAt(vkg::ObjectRecord& object, const std::vector<glm::vec3>& positions) {
  object.position = positions.front();
  if (std::all_of(positions.begin(), positions.end(), [&](glm::vec3 p) { return p == positions.front(); })) return;
  object.positionKeys = positions;
}

void Converter::writeTarget(const std::string& ownerName, int id, int parentId,
                            const std::vector<glm::vec3>& positions) {
  vkg::ObjectRecord& target = file->addObject();
  target.name = uniqueName(ownerName + ".Target");
  target.id = id;
  target.parentId = parentId;
  placeAt(target, positions);
}

void Converter::convertMaterials() {
  auto& list = file->addMaterialList();
  for (unsigned i = 0; i < scene.mNumMaterials; ++i) {
    const aiMaterial* m = scene.mMaterials[i];
    vkg::MaterialRecord r;
    r.id = static_cast<int32_t>(i) + 1;
    aiString name;
    r.name = m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length ? name.C_Str() : "Material" + std::to_string(i + 1);
    aiColor3D c;
    if (m->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS) r.diffuse = {c.r, c.g, c.b};
    aiColor4D base;
    if (m->Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS) r.diffuse = {base.r, base.g, base.b};
    // The engine's lights give 0.3 of their colour as ambient light: an ambient colour of
    // the material's own keeps its unlit side in its colour rather than grey.
    const bool ownAmbient = m->Get(AI_MATKEY_COLOR_AMBIENT, c) == AI_SUCCESS && c.r + c.g + c.b > 0 &&
                            c.r <= r.diffuse.r && c.g <= r.diffuse.g && c.b <= r.diffuse.b;
    r.ambient = ownAmbient ? glm::vec3(c.r, c.g, c.b) : r.diffuse;
    if (m->Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS) r.specular = {c.r, c.g, c.b};
    float value = 0;
    if (m->Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) r.opacity = std::clamp(value, 0.0f, 1.0f);
    if (r.opacity < 0.01f) {
      note("material \"" + r.name + "\": fully transparent; written opaque so that what uses it shows");
      r.opacity = 1.0f;
    }
    if (m->Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS && (c.r + c.g + c.b) > 0)
      note("material \"" + r.name + "\": an emissive colour has no place in a .vkg material: dropped");
    int twoSided = 0;
    if (m->Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided)
      note("material \"" + r.name + "\": two-sided; the engine draws front faces only");
    if (m->Get(AI_MATKEY_SHININESS, value) == AI_SUCCESS) r.glossiness = std::clamp(value / 128.0f, 0.0f, 1.0f);
    r.specularLevel = m->Get(AI_MATKEY_SHININESS_STRENGTH, value) == AI_SUCCESS ? value : (r.glossiness > 0 ? 1.0f : 0.0f);

    const auto addMaps = [&](aiTextureType type, int32_t mapType, const char* what) {
      for (unsigned t = 0; t < m->GetTextureCount(type); ++t) {
        aiString path;
        if (m->GetTexture(type, t, &path) != AI_SUCCESS || path.length == 0) continue;
        if (mapType < 0) {
          note("material \"" + r.name + "\": the " + what + " map has no place in a .vkg material: dropped");
          continue;
        }
        if (t > 0) {
          note("material \"" + r.name + "\": only the first " + what + " map is used");
          continue;
        }
        const std::string picture = pictures.nameFor(path.C_Str(), r.name);
        if (!picture.empty()) r.maps.push_back({picture, mapType});
      }
    };
    addMaps(aiTextureType_DIFFUSE, vkg::kDiffuseMap, "diffuse");
    if (m->GetTextureCount(aiTextureType_DIFFUSE) == 0) addMaps(aiTextureType_BASE_COLOR, vkg::kDiffuseMap, "base colour");
    addMaps(aiTextureType_SHININESS, vkg::kGlossMap, "gloss");
    // glTF's occlusion map comes as a light map, which the engine would draw unlit over the
    // second coordinate set.
    addMaps(aiTextureType_LIGHTMAP, gltf ? -1 : vkg::kLightMap, gltf ? "occlusion" : "light");
    addMaps(aiTextureType_NORMALS, vkg::kNormalMap, "normal");
    if (m->GetTextureCount(aiTextureType_NORMALS) == 0) addMaps(aiTextureType_HEIGHT, vkg::kNormalMap, "bump");
    addMaps(aiTextureType_REFLECTION, vkg::kReflectionMap, "reflection");
    addMaps(aiTextureType_OPACITY, -1, "opacity");
    addMaps(aiTextureType_EMISSIVE, -1, "emissive");
    addMaps(aiTextureType_SPECULAR, -1, "specular colour");
    addMaps(aiTextureType_METALNESS, -1, "metalness");
    addMaps(aiTextureType_DIFFUSE_ROUGHNESS, -1, "roughness");
    if (!gltf) addMaps(aiTextureType_AMBIENT_OCCLUSION, -1, "ambient occlusion");
    // The picture is modulated by the lit colour: a black diffuse colour would hide it.
    const bool pictured = std::any_of(r.maps.begin(), r.maps.end(), [](const vkg::MapRecord& map) {
      return map.type == vkg::kDiffuseMap;
    });
    if (pictured && r.diffuse.r + r.diffuse.g + r.diffuse.b < 0.03f) {
      note("material \"" + r.name + "\": black under its picture; written white so that the picture shows");
      r.diffuse = r.ambient = glm::vec3(1.0f);
    }
    list.push_back(std::move(r));
  }
  if (list.empty()) {
    // Every mesh needs a material.
    vkg::MaterialRecord grey;
    grey.id = 1;
    grey.name = "Default";
    grey.ambient = grey.diffuse;
    list.push_back(grey);
  }
}

void Converter::writeMesh(const aiMesh* mesh, const std::string& name, int id, int parentId, const Frames& frames) {
  writtenMeshes.push_back({file->meshes.size(), frames.front()});
  vkg::MeshRecord& r = file->addMesh();
  r.object.name = name;
  r.object.id = id;
  r.object.parentId = parentId;
  r.object.materialId = mesh->mMaterialIndex < scene.mNumMaterials ? static_cast<int32_t>(mesh->mMaterialIndex) + 1 : 1;
  place(r.object, frames);
  size_t undefined = 0;
  const auto finite = [&undefined](glm::vec3 v) {
    if (std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z)) return v;
    ++undefined;
    return glm::vec3(0.0f);
  };
  for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
    r.positions.push_back(finite(toGlm(mesh->mVertices[v])));
    r.normals.push_back(mesh->mNormals ? finite(toGlm(mesh->mNormals[v])) : glm::vec3(0.0f));
  }
  if (undefined)
    note("mesh \"" + name + "\": " + std::to_string(undefined) +
         " positions or normals with infinite or undefined coordinates: set to 0");
  // The loader turns v around (the exporter's pictures are upside down to GL), so the
  // importer's v is written as it is.
  for (unsigned set = 0; set < 2; ++set) {
    if (!mesh->HasTextureCoords(set)) continue;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
      r.texCoords[set].emplace_back(mesh->mTextureCoords[set][v].x, mesh->mTextureCoords[set][v].y);
  }
  if (mesh->HasTextureCoords(2)) note("mesh \"" + name + "\": texture coordinate sets beyond the second are dropped");
  if (mesh->HasVertexColors(1)) note("mesh \"" + name + "\": vertex colour sets beyond the first are dropped");
  if (mesh->HasVertexColors(0))
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
      r.colours.emplace_back(mesh->mColors[0][v].r, mesh->mColors[0][v].g, mesh->mColors[0][v].b);
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    const aiFace& face = mesh->mFaces[f];
    if (face.mNumIndices != 3) continue;  // points and lines were reported with their node
    r.faces.push_back({static_cast<int32_t>(face.mIndices[0]), static_cast<int32_t>(face.mIndices[1]),
                       static_cast<int32_t>(face.mIndices[2])});
  }
  // The engine draws the faces that wind counter-clockwise towards the eye. Faces that
  // mostly wind against their own normals (STL files written the other way round) would
  // show their unlit inside: their winding is turned.
  size_t against = 0, judged = 0;
  for (const auto& face : r.faces) {
    const glm::vec3& a = r.positions[static_cast<size_t>(face[0])];
    const glm::vec3 wound = glm::cross(r.positions[static_cast<size_t>(face[1])] - a, r.positions[static_cast<size_t>(face[2])] - a);
    const glm::vec3 normal = r.normals[static_cast<size_t>(face[0])] + r.normals[static_cast<size_t>(face[1])] +
                             r.normals[static_cast<size_t>(face[2])];
    if (glm::length(wound) == 0.0f || glm::length(normal) < 1e-6f) continue;
    ++judged;
    against += glm::dot(wound, normal) < 0.0f;
  }
  if (judged > 0 && against * 2 > judged) {
    for (auto& face : r.faces) std::swap(face[1], face[2]);
    note("mesh \"" + name + "\": its faces wind against their normals; turned so that their outside shows");
  }
  // Normals of zero length (STL files that leave them to the reader) would leave the mesh
  // unlit: such vertices get the mean of their faces' normals.
  std::vector<size_t> unset;
  for (size_t v = 0; v < r.normals.size(); ++v)
    if (glm::length(r.normals[v]) < 1e-6f) unset.push_back(v);
  if (!unset.empty()) {
    std::vector<glm::vec3> sums(r.positions.size(), glm::vec3(0.0f));
    for (const auto& face : r.faces) {
      const glm::vec3& a = r.positions[static_cast<size_t>(face[0])];
      const glm::vec3 n = glm::cross(r.positions[static_cast<size_t>(face[1])] - a, r.positions[static_cast<size_t>(face[2])] - a);
      for (int32_t i : face) sums[static_cast<size_t>(i)] += n;
    }
    for (size_t v : unset)
      r.normals[v] = glm::length(sums[v]) > 0.0f ? glm::normalize(sums[v]) : glm::vec3(0.0f, 1.0f, 0.0f);
  }
  if (mesh->HasBones()) note("mesh \"" + name + "\": skinning (bones) cannot be stored: drawn in its rest pose");
  if (mesh->mNumAnimMeshes) note("mesh \"" + name + "\": morph targets cannot be stored: dropped");
}

std::vector<const aiMesh*> Converter::triangleMeshes(const aiNode* node) const {
  std::vector<const aiMesh*> meshes;
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    const aiMesh* mesh = scene.mMeshes[node->mMeshes[i]];
    if (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) meshes.push_back(mesh);
  }
  return meshes;
}

void Converter::convertNode(const aiNode* node, int parentId) {
  const std::string nodeName = node->mName.C_Str();
  const Frames frames = worldFrames(node);
  const int id = nextId++;

  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    const aiMesh* mesh = scene.mMeshes[node->mMeshes[i]];
    if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
      note("node \"" + nodeName + "\": " + std::to_string(mesh->mNumFaces) +
           " points or lines cannot be stored (a .vkg mesh holds triangles): dropped");
  }
  if (auto camera = cameras.find(nodeName); camera != cameras.end()) {
    writeCamera(node, *scene.mCameras[camera->second], camera->second, placedFrames(node), id, parentId);
  } else if (auto light = lights.find(nodeName); light != lights.end()) {
    writeLight(node, *scene.mLights[light->second], placedFrames(node), id, parentId);
  } else if (const std::vector<const aiMesh*> meshes = triangleMeshes(node); meshes.size() == 1) {
    writeMesh(meshes.front(), objectName(node, meshes, "Mesh"), id, parentId, frames);
  } else {
    vkg::ObjectRecord& r = file->addObject();
    r.name = objectName(node, meshes, "Object");
    r.id = id;
    r.parentId = parentId;
    place(r, frames);
    // Meshes of a node hang under it, each placed as the node is, each named after its mesh.
    const std::string owner = r.name;
    for (size_t i = 0; i < meshes.size(); ++i) {
      std::string meshName = meshes[i]->mName.C_Str();
      if (isPlaceholder(meshName)) meshName = owner + ".Mesh" + std::to_string(i + 1);
      writeMesh(meshes[i], uniqueName(meshName), nextId++, id, frames);
    }
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) convertNode(node->mChildren[i], id);
}

// [SECTION] Cameras

void Converter::writeCamera(const aiNode* node, const aiCamera& c, size_t index, const Frames& frames, int id,
                            int parentId) {
  const std::string name = objectName(node, {}, "Camera");
  glm::vec3 eye = toGlm(c.mPosition);
  // The importer's glTF reader (up to version 5.2) also copies the node's translation into
  // the camera's own position, which is relative to the node: counted once, not twice.
  aiVector3D scaling, translation;
  aiQuaternion rotation;
  node->mTransformation.Decompose(scaling, rotation, translation);
  if (gltf && c.mPosition == translation) eye = glm::vec3(0.0f);

  // The lens as the file states it.
  const GltfCamera* own = gltf && gltfCameras && index < gltfCameras->size() ? &(*gltfCameras)[index] : nullptr;
  bool orthographic = false;
  float vertical = 0.0f, halfHeight = 0.0f;
  float nearPlane = c.mClipPlaneNear, farPlane = c.mClipPlaneFar;
  if (own) {
    orthographic = own->orthographic;
    vertical = static_cast<float>(own->yfov);
    halfHeight = static_cast<float>(own->ymag);
    nearPlane = static_cast<float>(own->znear);
    farPlane = static_cast<float>(own->zfar);  // 0: infinite, taken from the model below
  } else {
    orthographic = c.mOrthographicWidth > 0.0f || c.mHorizontalFOV <= 0.0f;
    halfHeight = c.mOrthographicWidth / (c.mAspect > 0.0f ? c.mAspect : 1.0f);
    if (gltf)  // no JSON to read: the importer's field holds yfov × the aspect ratio given
      vertical = c.mAspect > 0.0f ? c.mHorizontalFOV / c.mAspect : c.mHorizontalFOV;
    else  // the importer's horizontal angle of a picture of its aspect (4:3 when unknown)
      vertical = verticalFromHorizontal(c.mHorizontalFOV, c.mAspect > 0.0f ? c.mAspect : kEngineAspect);
  }
  // Below a degree is no lens a modelling tool offers: the importer's default read in the
  // wrong unit, where it did not find the file's lens.
  if (!orthographic && (vertical < kPi / 180.0f || vertical >= kPi)) {
    note("camera \"" + name + "\": a field of view of " + number(degrees(vertical)) + "° cannot be meant: " +
         number(kDefaultFovY) + "° instead");
    vertical = kDefaultFovY * kPi / 180.0f;
  }

  const glm::vec3 look = toGlm(c.mLookAt), upward = toGlm(c.mUp);
  // A target camera of 3ds Max files (3DS, ASE) looks at the node "<camera>.Target" at
  // every frame, whatever the importer made of its rotation.
  const aiNode* targetNode = scene.mRootNode->FindNode((std::string(node->mName.C_Str()) + ".Target").c_str());
  const Frames targetFrames = targetNode ? targetWorldFrames(node, targetNode) : Frames{};
  const float radius = std::max(box.radius(), 1e-3f);
  Track track{name, {}, {}};
  bool tilted = false, movedNear = false, movedPlanes = false;
  View first;
  for (size_t f = 0; f < frames.size(); ++f) {
    const glm::mat4& m = frames[f];
    const glm::vec3 from = point(m, eye), up = direction(m, upward);
    glm::vec3 ahead = direction(m, look);
    if (targetNode && glm::length(glm::vec3(targetFrames[f][3]) - from) > 0.0f)
      ahead = glm::normalize(glm::vec3(targetFrames[f][3]) - from);
    View view;
    if (orthographic) {
      const float height = halfHeight > 0.0f ? halfHeight * glm::length(glm::vec3(m[1])) : radius;
      const float focus = std::max(glm::dot(box.centre() - from, ahead), height);
      view = perspectiveForOrthographic(from, ahead, height, focus, kOrthographicFovY);
      planesForBox(box, view.eye, ahead, view);
    } else {
      view.eye = from;
      const float distance = targetNode ? glm::length(glm::vec3(targetFrames[f][3]) - from)
                                        : std::max(glm::dot(box.centre() - from, ahead), radius);
      glm::vec3 aim = ahead;
      // Looking straight up or down the engine's upright camera has no "up": a small tilt
      // towards the file's up direction gives the picture the orientation the file meant.
      if (std::fabs(ahead.y) > std::cos(kVerticalTilt * kPi / 180.0f)) {
        const float sign = ahead.y < 0.0f ? 1.0f : -1.0f;
        aim = glm::normalize(ahead + sign * up * std::tan(kVerticalTilt * kPi / 180.0f));
        tilted = true;
      }
      view.target = from + aim * distance;
      view.nearPlane = nearPlane * scale * unitScale;
      view.farPlane = farPlane * scale * unitScale;
      if (view.nearPlane <= 0.0f || view.farPlane <= view.nearPlane) {
        View planes;
        planesForBox(box, from, ahead, planes);
        if (view.nearPlane <= 0.0f) view.nearPlane = std::min(planes.nearPlane, std::max(view.farPlane, 0.0f) * 0.001f);
        if (view.nearPlane <= 0.0f) view.nearPlane = planes.nearPlane;
        if (view.farPlane <= view.nearPlane) view.farPlane = std::max(planes.farPlane, view.nearPlane * 10.0f);
      }
      // A near plane beyond the model's centre (or a far one before it) hides most of the
      // model: a lens set up for other units. The planes move to take the model in.
      {
        View planes;
        planesForBox(box, from, ahead, planes);
        const float centre = glm::dot(box.centre() - from, ahead);
        if (centre > 0.0f && view.nearPlane > centre) {
          view.nearPlane = planes.nearPlane;
          movedPlanes = true;
        }
        if (centre > 0.0f && view.farPlane < centre) {
          view.farPlane = planes.farPlane;
          movedPlanes = true;
        }
      }
      // A 24-bit depth buffer resolves little over a range of more than 10^4 (glTF's "far
      // enough" cameras ask for 10^7): the near plane moves out as far as the model allows.
      if (view.farPlane > view.nearPlane * 1e4f) {
        View planes;
        planesForBox(box, from, ahead, planes);
        const float nearer = std::min(planes.nearPlane, view.farPlane * 1e-4f);
        if (nearer > view.nearPlane) {
          view.nearPlane = nearer;
          movedNear = true;
        }
      }
    }
    if (track.from.empty()) first = view;
    track.from.push_back(view.eye);
    track.towards.push_back(view.target);
  }

  if (orthographic)
    note("camera \"" + name + "\": orthographic; written as a " + number(kOrthographicFovY) +
         "° perspective camera that frames the same view");
  if (movedPlanes)
    note("camera \"" + name + "\": its near and far planes (" + number(nearPlane * scale * unitScale) + ", " +
         number(farPlane * scale * unitScale) +
         ") would hide most of the model: " + number(first.nearPlane) + ", " + number(first.farPlane) + " instead");
  if (movedNear)
    note("camera \"" + name + "\": near plane moved out to " + number(first.nearPlane) +
         " (the depth buffer cannot resolve its range of " + number(farPlane / std::max(nearPlane, 1e-30f)) + " to 1)");
  if (tilted) note("camera \"" + name + "\": looks straight up or down; tilted by 1° so that the engine can keep it upright");
  // The engine's cameras stand upright: a rolled camera loses its roll.
  const glm::vec3 ahead0 = glm::normalize(track.towards.front() - track.from.front());
  const glm::vec3 up0 = direction(frames.front(), upward);
  const glm::vec3 fileUp = up0 - glm::dot(up0, ahead0) * ahead0;
  const glm::vec3 engineUp = glm::vec3(0, 1, 0) - ahead0.y * ahead0;
  if (!tilted && glm::length(fileUp) > 1e-4f && glm::length(engineUp) > 1e-4f &&
      glm::dot(glm::normalize(fileUp), glm::normalize(engineUp)) < std::cos(kPi / 180.0f))
    note("camera \"" + name + "\": rolled by " +
         number(std::round(degrees(std::acos(std::clamp(glm::dot(glm::normalize(fileUp), glm::normalize(engineUp)), -1.0f, 1.0f))))) +
         "°; the engine keeps cameras upright");

  vkg::CameraRecord& r = file->addCamera();
  r.object.name = name;
  r.object.id = id;
  r.object.parentId = parentId;
  placeAt(r.object, track.from);
  const float fovY = orthographic ? kOrthographicFovY : degrees(vertical);
  r.fov = fileFovFromVertical(fovY * kPi / 180.0f);
  r.nearPlane = first.nearPlane;
  r.farPlane = first.farPlane;
  r.targetId = nextId++;
  writeTarget(name, r.targetId, parentId, track.towards);
  writtenCameras.push_back({track, fovY, first.nearPlane, first.farPlane});
}

// [SECTION] Lights

void Converter::writeLight(const aiNode* node, const aiLight& l, const Frames& frames, int id, int parentId) {
  const std::string name = objectName(node, {}, "Light");
  const std::string who = "light \"" + name + "\": ";
  const glm::vec3 where = toGlm(l.mPosition), aim = toGlm(l.mDirection);
  const float radius = std::max(box.radius(), 1e-3f);
  Track track{name, {}, {}};
  for (const glm::mat4& m : frames) {
    track.from.push_back(point(m, where));
    track.towards.push_back(direction(m, aim));
  }

  vkg::LightRecord r;
  r.object.name = name;
  r.object.id = id;
  r.object.parentId = parentId;
  std::vector<glm::vec3> positions = track.from;
  glm::vec3 colour(l.mColorDiffuse.r, l.mColorDiffuse.g, l.mColorDiffuse.b);
  bool falls = true;
  switch (l.mType) {
    case aiLightSource_DIRECTIONAL:
      for (size_t f = 0; f < positions.size(); ++f) positions[f] = box.centre() - track.towards[f] * radius * kFarAway;
      falls = false;
      note(who + "directional; written as an untargeted light far away along its direction");
      break;
    case aiLightSource_SPOT: {
      const float outer = l.mAngleOuterCone, inner = std::min(l.mAngleInnerCone, outer);
      bool drawable = outer * 180.0f / kPi <= 90.0f;
      for (const glm::vec3& d : track.towards)
        drawable &= glm::dot(d, glm::vec3(0, 0, -1)) >= std::cos(kSpotTolerance * kPi / 180.0f);
      if (drawable) {
        r.lightType = vkg::kFreeSpotLight;
        r.cutoff = degrees(outer);
        r.exponent = spotExponent(inner, outer);
      } else {
        note(who + "a spot light the engine cannot aim (its spots shine along -z, with cones up to 90°): "
                   "written as an omni light");
      }
      break;
    }
    case aiLightSource_AMBIENT:
      for (glm::vec3& p : positions) p = box.centre() + glm::vec3(0, 1, 0) * radius * kFarAway;
      falls = false;
      note(who + "ambient; written as a light far above the model (the engine's lights give 0.3 of their colour as ambient light)");
      break;
    case aiLightSource_POINT:
      break;
    default:
      note(who + "an area or unknown kind of light; written as an omni light at its place");
      break;
  }
  if (falls) {
    // The coefficients are in the file's units; the ranges the engine reads are scaled ones.
    const float distance = glm::length(box.centre() - positions.front()) / (scale * unitScale);
    const Falloff falloff =
        engineFalloff(l.mAttenuationConstant, l.mAttenuationLinear, l.mAttenuationQuadratic, distance);
    colour *= falloff.brightness;
    r.range = falloff.range * scale * unitScale;
    if (falloff.approximated)
      note(who + "falls off faster than the engine's lights can; written without fall-off, as bright as it is at the model's centre");
  }
  const float brightest = std::max({colour.r, colour.g, colour.b});
  if (brightest > 1.0f) {
    note(who + number(brightest) + " times as bright as white where it lights the model; written white at most");
    colour /= brightest;
  }
  r.multiplier = std::max({colour.r, colour.g, colour.b});
  r.colour = r.multiplier > 0.0f ? colour / r.multiplier : glm::vec3(1.0f);
  if (r.multiplier < 0.004f) note(who + "black: it lights nothing");
  else ++lightingLights;
  placeAt(r.object, positions);
  writtenLights.push_back({l.mName.C_Str(), track, l.mType, file->lights.size()});
  file->addLight() = std::move(r);
}

// [SECTION] What a model without camera or light gets

bool Converter::seesModel(const WrittenCamera& camera) const {
  // Some importers lose a camera's aim (3DS and ASE target cameras), and some files aim
  // their camera at an empty spot: such a camera shows nothing, or a speck, of the model.
  // Every frame counts: a camera may pan onto the model later.
  const size_t step = std::max<size_t>(1, camera.track.from.size() / 64);
  for (size_t f = 0; f < camera.track.from.size(); f += step) {
    View view;
    view.eye = camera.track.from[f];
    view.target = camera.track.towards[f];
    view.fovY = camera.fovY;
    view.nearPlane = camera.nearPlane;
    view.farPlane = camera.farPlane;
    if (pictureShare(view, box) >= kSmallestShare) return true;
  }
  return false;
}

// Whether the lights that light leave most of what the camera sees at the first frame in
// the dark (behind the model, inside a closed mesh, out of reach): then the model's
// colours would not show.
bool Converter::leavesDark(const WrittenCamera& camera) const {
  View view;
  view.eye = camera.track.from.front();
  view.target = camera.track.towards.front();
  view.fovY = camera.fovY;
  view.nearPlane = camera.nearPlane;
  view.farPlane = camera.farPlane;
  const glm::mat4 projection = viewMatrix(view);
  // The middle of every face (of a sample of them in big models): the corners of a large
  // face can all lie outside a picture that the face fills.
  size_t faces = 0;
  for (const WrittenMesh& m : writtenMeshes) faces += file->meshes[m.record].faces.size();
  const size_t step = std::max<size_t>(1, faces / 50000);
  size_t seen = 0, lit = 0;
  for (const WrittenMesh& m : writtenMeshes) {
    const vkg::MeshRecord& mesh = file->meshes[m.record];
    const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(m.world)));
    for (size_t f = 0; f < mesh.faces.size(); f += step) {
      glm::vec3 middle(0.0f), normal(0.0f);
      for (int32_t i : mesh.faces[f]) {
        middle += mesh.positions[static_cast<size_t>(i)] / 3.0f;
        normal += mesh.normals[static_cast<size_t>(i)];
      }
      const glm::vec3 p = point(m.world, middle);
      if (glm::length(normal) == 0.0f) continue;
      const glm::vec3 n = glm::normalize(normalMatrix * normal);
      const glm::vec4 clip = projection * glm::vec4(p, 1.0f);
      if (glm::dot(n, view.eye - p) <= 0.0f || clip.w <= 0.0f || std::fabs(clip.x) > clip.w ||
          std::fabs(clip.y) > clip.w || std::fabs(clip.z) > clip.w)
        continue;
      ++seen;
      float light = 0.0f;
      for (const vkg::LightRecord& l : file->lights) {
        if (l.targetId >= 0) continue;  // drives shadows only
        const glm::vec3 toLight = l.object.position - p;
        const float distance = glm::length(toLight);
        if (distance <= 0.0f) continue;
        float amount = std::max(0.0f, glm::dot(n, toLight / distance)) * l.multiplier;
        if (l.range > 0.0f) amount /= 1.0f + 2.0f * distance / l.range;
        if (l.lightType == vkg::kFreeSpotLight &&
            glm::dot(-toLight / distance, glm::vec3(0, 0, -1)) < std::cos(l.cutoff * kPi / 180.0f))
          amount = 0.0f;
        light += amount;
      }
      lit += light >= 0.1f;
    }
  }
  return seen > 0 && lit * 5 < seen;
}

// From the front (+z) and a little above. A model whose faces mostly face one way (a sign,
// a picture, a floor, a single triangle) is seen from the side they face, which is the side
// the engine draws; never steeper than 60°, where the engine's upright camera has a clear up.
glm::vec3 Converter::frontDirection() const {
  glm::vec3 facing(0.0f);
  float area = 0.0f;
  for (const WrittenMesh& m : writtenMeshes) {
    const vkg::MeshRecord& mesh = file->meshes[m.record];
    for (const auto& face : mesh.faces) {
      const glm::vec3 a = point(m.world, mesh.positions[static_cast<size_t>(face[0])]);
      const glm::vec3 b = point(m.world, mesh.positions[static_cast<size_t>(face[1])]);
      const glm::vec3 c = point(m.world, mesh.positions[static_cast<size_t>(face[2])]);
      const glm::vec3 n = glm::cross(b - a, c - a);
      facing += n;
      area += glm::length(n);
    }
  }
  const float least = kLookElevation * kPi / 180.0f, most = kPi / 3.0f;
  if (area <= 0.0f || glm::length(facing) < 0.5f * area) return {0.0f, std::sin(least), std::cos(least)};
  const glm::vec3 d = glm::normalize(facing);
  glm::vec3 across(d.x, 0.0f, d.z);
  across = glm::length(across) > 1e-3f ? glm::normalize(across) : glm::vec3(0.0f, 0.0f, 1.0f);
  float elevation = std::clamp(std::asin(std::clamp(d.y, -1.0f, 1.0f)), -most, most);
  if (elevation > -least && elevation < least) elevation = least;
  return across * std::cos(elevation) + glm::vec3(0.0f, std::sin(elevation), 0.0f);
}

void Converter::addDefaultCamera(bool first) {
  const View view = frameBox(box, frontDirection(), kDefaultFovY);
  vkg::CameraRecord& r = file->addCamera();
  r.object.name = uniqueName("Camera01");
  r.object.id = nextId++;
  r.object.position = view.eye;
  r.fov = fileFovFromVertical(view.fovY * kPi / 180.0f);
  r.nearPlane = view.nearPlane;
  r.farPlane = view.farPlane;
  r.targetId = nextId++;
  const std::string name = r.object.name;
  if (first) {
    // The scene starts with its first camera: this one goes before the file's.
    const vkg::ChunkRef added = file->chunks.back();
    file->chunks.pop_back();
    const auto firstCamera = std::find_if(file->chunks.begin(), file->chunks.end(),
                                          [](const vkg::ChunkRef& c) { return c.tag == vkg::kCamera; });
    file->chunks.insert(firstCamera, added);
  }
  writeTarget(name, r.targetId, -1, {view.target});
  playing = WrittenCamera{Track{name, {view.eye}, {view.target}}, view.fovY, view.nearPlane, view.farPlane};
  note(first ? "none of the model's cameras sees the model: added \"" + name +
                   "\", which sees all of it from the front and a little above, as the first camera"
             : "the model has no camera: added \"" + name + "\", which sees all of it from the front and a little above");
}

void Converter::addKeyLight(const char* reason) {
  // Up and to the right of the camera, as far from the model as the camera is.
  std::vector<glm::vec3> positions;
  for (size_t f = 0; f < playing->track.from.size(); ++f) {
    const glm::vec3 eye = playing->track.from[f];
    const glm::vec3 forward = glm::normalize(playing->track.towards[f] - eye);
    glm::vec3 right = glm::cross(forward, glm::vec3(0, 1, 0));
    right = glm::length(right) > 1e-4f ? glm::normalize(right) : glm::vec3(1, 0, 0);
    const glm::vec3 up = glm::cross(right, forward);
    const float distance = std::max(glm::length(box.centre() - eye), box.radius());
    positions.push_back(eye + (right + up) * distance * 0.35f);
  }
  vkg::LightRecord& r = file->addLight();
  r.object.name = uniqueName("KeyLight");
  r.object.id = nextId++;
  placeAt(r.object, positions);
  r.lightType = vkg::kOmniLight;
  // --shadow-light may name it too.
  writtenLights.push_back({r.object.name, Track{r.object.name, positions, {}}, aiLightSource_POINT, file->lights.size() - 1});
  note(std::string(reason) + ": added the white \"" + r.object.name + "\" beside camera \"" + playing->track.name + "\"");
}

bool Converter::addShadowLight() {
  const auto found = std::find_if(writtenLights.begin(), writtenLights.end(), [&](const WrittenLight& l) {
    return l.fileName == options.shadowLight || l.track.name == options.shadowLight;
  });
  if (found == writtenLights.end()) {
    std::string known;
    for (const WrittenLight& l : writtenLights) known += (known.empty() ? " \"" : ", \"") + l.track.name + "\"";
    note("--shadow-light: the model has no light \"" + options.shadowLight + "\"" +
         (known.empty() ? " (it has none)" : " (its lights:" + known + ")"));
    return false;
  }
  // The spot shadow pass looks from the light with the active camera's lens: a light that
  // stands far away (a directional one) is brought as close as that lens sees the model from.
  const vkg::LightRecord source = file->lights[found->record];
  const float radius = std::max(box.radius(), 1e-3f);
  const float close = radius / std::sin(playing->fovY * kPi / 360.0f);
  std::vector<glm::vec3> from, to;
  for (size_t f = 0; f < found->track.from.size(); ++f) {
    const glm::vec3 d = f < found->track.towards.size() ? found->track.towards[f] : glm::vec3(0.0f, 0.0f, -1.0f);
    switch (found->type) {
      case aiLightSource_DIRECTIONAL:
      case aiLightSource_AMBIENT:
        from.push_back(box.centre() - (found->type == aiLightSource_AMBIENT ? glm::vec3(0, -1, 0) : d) * close);
        to.push_back(box.centre());
        break;
      case aiLightSource_SPOT:
        from.push_back(found->track.from[f]);
        to.push_back(found->track.from[f] + d * std::max(glm::length(box.centre() - found->track.from[f]), radius));
        break;
      default:
        from.push_back(found->track.from[f]);
        to.push_back(box.centre());
        break;
    }
  }
  // The target first, so that a reader of the file meets it before the light that names it.
  shadowLightName = uniqueName(found->track.name + ".Shadow");
  const int targetId = nextId++;
  writeTarget(shadowLightName, targetId, -1, to);
  vkg::LightRecord& r = file->addLight();
  r.object.name = shadowLightName;
  r.object.id = nextId++;
  placeAt(r.object, from);
  r.lightType = vkg::kTargetSpotLight;
  r.colour = source.colour;
  r.multiplier = source.multiplier;
  r.cutoff = source.lightType == vkg::kFreeSpotLight ? source.cutoff : 90.0f;
  r.exponent = source.exponent;
  r.targetId = targetId;
  return true;
}

bool Converter::run(ConvertedModel& out) {
  file = &out.scene;
  for (unsigned i = 0; i < scene.mNumCameras; ++i) cameras.emplace(scene.mCameras[i]->mName.C_Str(), i);
  for (unsigned i = 0; i < scene.mNumLights; ++i) lights.emplace(scene.mLights[i]->mName.C_Str(), i);

  // A model that says z is up is turned so that y is; Blender's files are z-up without
  // saying so (the importer leaves them as they are).
  int32_t upAxis = blender ? 2 : 1, upSign = 1;
  if (scene.mMetaData) {
    scene.mMetaData->Get("UpAxis", upAxis);
    scene.mMetaData->Get("UpAxisSign", upSign);
  }
  glm::mat4 turn(1.0f);
  if (upAxis == 2) turn = glm::rotate(turn, -kPi / 2 * static_cast<float>(upSign), glm::vec3(1, 0, 0));
  else if (upAxis == 0) turn = glm::rotate(turn, kPi / 2 * static_cast<float>(upSign), glm::vec3(0, 0, 1));

  chooseAnimation();
  float found = 0.0f;
  bool agreed = true;
  findUnitScale(scene.mRootNode, &found, &agreed);
  upright = turn;
  measureBox(scene.mRootNode);
  scale = options.scale;
  if (options.fit > 0.0f) scale = box.largestSide() > 0.0f ? options.fit / box.largestSide() : 1.0f;
  upright = glm::scale(glm::mat4(1.0f), glm::vec3(scale)) * turn;
  if (!box.empty()) box = Box{box.min * scale, box.max * scale};
  // Whether the exporter's unit scale holds for the places of cameras and lights too: the
  // places as the file gives them, unless there the author's camera stands inside the model
  // or has it past its far plane and with the unit scale takes it in (the same exporter
  // writes files of both kinds: places in the scaled units, and places in the file's own).
  if (agreed && found > 0.0f && found != 1.0f && scene.mNumCameras > 0 && !cameraTakesInTheModel()) {
    unitScale = found;
    if (cameraTakesInTheModel()) {
      note("cameras and lights placed in the meshes' units: the file's unit scale " + number(found) +
           ", which every object carries, applied to their places too");
    } else {
      unitScale = 1.0f;
    }
  }

  file->firstFrame = 0;
  file->frameStep = std::max(1, static_cast<int>(std::lround(1000.0 / options.fps)));
  file->lastFrame = (frameCount - 1) * file->frameStep;
  convertMaterials();
  convertNode(scene.mRootNode, -1);
  const bool seen = std::any_of(writtenCameras.begin(), writtenCameras.end(),
                                [&](const WrittenCamera& c) { return seesModel(c); });
  if (writtenCameras.empty() || (!seen && !box.empty())) addDefaultCamera(!writtenCameras.empty());
  else playing = writtenCameras.front();
  if (lightingLights == 0)
    addKeyLight(writtenLights.empty() ? "the model has no light" : "none of the model's lights lights anything");
  else if (leavesDark(*playing))
    addKeyLight(("the model's lights leave what camera \"" + playing->track.name + "\" sees in the dark").c_str());
  if (lightingLights > kEngineLights)
    note("the model has " + std::to_string(lightingLights) + " lights; the engine lights with the first " +
         std::to_string(kEngineLights) + " only");
  if (!options.shadowLight.empty() && !addShadowLight()) return false;
  out.box = box;
  out.scale = scale;
  out.shadowLightName = shadowLightName;
  return true;
}

std::string lowerExtension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return extension;
}

}  // namespace

// [SECTION] Entry points

bool convertModel(const std::string& input, const ConvertOptions& options, ConvertedModel& out) {
  const std::string prefix = options.notePrefix;
  NoteSink note = options.note ? options.note : NoteSink([prefix](const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", prefix.c_str(), line.c_str());
  });
  Assimp::Importer importer;
  importer.SetPropertyInteger(AI_CONFIG_PP_SLM_VERTEX_LIMIT, kVertexLimit);
  importer.SetPropertyInteger(AI_CONFIG_PP_SLM_TRIANGLE_LIMIT, 1 << 30);
  // FBX pivots would come as extra "_$AssimpFbx$_..." nodes: folded into their node.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  // Points and lines are sorted into meshes of their own, which are reported and left out.
  const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
                         aiProcess_SplitLargeMeshes | aiProcess_SortByPType | aiProcess_GenUVCoords |
                         aiProcess_ValidateDataStructure;
  const aiScene* scene = importer.ReadFile(input, flags);
  if (!scene || !scene->mRootNode) {
    note(input + ": " + importer.GetErrorString());
    return false;
  }
  // The importer calls a model without meshes incomplete; its nodes, cameras and lights
  // still make a scene.
  if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) note(input + ": the model holds no meshes");

  const std::string extension = lowerExtension(input);
  const bool gltf = extension == ".gltf" || extension == ".glb";
  std::optional<std::vector<GltfCamera>> gltfCameras;
  if (gltf && scene->mNumCameras > 0) {
    std::ifstream in(input, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    gltfCameras = readGltfCameras(bytes.data(), bytes.size());
    if (!gltfCameras || gltfCameras->size() != scene->mNumCameras) {
      note(input + ": the cameras of the file cannot be read; their lenses are taken from the importer");
      gltfCameras.reset();
    }
  }
  out = ConvertedModel{};
  PictureCollector pictures(*scene, input, note, options.pictureFolder);
  Converter converter(*scene, options, note, extension, std::move(gltfCameras), pictures);
  if (!converter.run(out)) return false;
  out.pictures = pictures.takePictures();
  return true;
}

bool writePictures(const std::vector<Picture>& pictures, const std::string& folder, const ConvertOptions& options) {
  namespace fs = std::filesystem;
  const auto fail = [&](const std::string& what) {
    if (options.note) options.note(what);
    else std::fprintf(stderr, "%s: %s\n", options.notePrefix.c_str(), what.c_str());
    return false;
  };
  if (pictures.empty()) return true;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return fail(folder + ": " + error.message());
  for (const Picture& picture : pictures) {
    const fs::path path = fs::path(folder) / picture.fileName;
    // A fresh file of its own (O_EXCL: not a link someone left at the temporary name).
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return fail(path.string() + ": cannot be written (" + std::strerror(errno) + ")");
    const uint8_t* at = picture.bytes.data();
    size_t left = picture.bytes.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, at, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      at += n;
      left -= static_cast<size_t>(n);
    }
    const int writeError = left > 0 ? errno : 0;
    if (::close(fd) != 0 || left > 0) {
      fs::remove(temporary, error);
      return fail(path.string() + ": cannot be written (" + std::strerror(writeError != 0 ? writeError : EIO) + ")");
    }
    using fs::perms;
    fs::permissions(temporary, perms::owner_read | perms::owner_write | perms::group_read | perms::others_read, error);
    if (!error) fs::rename(temporary, path, error);
    if (error) {
      fs::remove(temporary, error);
      return fail(path.string() + ": cannot be written");
    }
  }
  return true;
}

std::string defaultTextureFolder(const std::string& output) {
  const std::filesystem::path parent = std::filesystem::path(output).parent_path();
  if (parent.filename() == "scenes" && parent.parent_path().filename() == "data")
    return (parent.parent_path() / "textures").string();
  return parent.empty() ? "." : parent.string();
}

}  // namespace modelimport
