// vkg convert: a model read by the Open Asset Import Library written as a .vkg scene.
//
// The engine places every object by its own transform in world space (a parent passes its
// transform on only when a script asks it to), so each node is written with its world
// transform, and animated nodes with one world-space key per frame; the parent links keep
// the node hierarchy and its names. The importer's output is right-handed with y up, the
// engine's convention; a file that says its up axis is z is turned upright. Cameras and spot
// and directional lights aim at a target object ("<name>.Target") placed along their view.

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

#include "Vkg.h"
#include "sceneFile/VKGFile.h"

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kVertexLimit = 65535;     // the engine draws with 16-bit indices
constexpr float kTargetDistance = 100;  // how far ahead a camera's or light's target is put

void warn(const std::string& what) { std::fprintf(stderr, "vkg: %s\n", what.c_str()); }

glm::mat4 toGlm(const aiMatrix4x4& m) {
  // aiMatrix4x4 is row-major: a1..a4 is the first row.
  return glm::mat4(m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4, m.c4, m.d4);
}

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
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
  aiVector3D scaling(1, 1, 1), position;
  aiQuaternion rotation;
  aiVector3D baseScale, basePosition;
  aiQuaternion baseRotation;
  node->mTransformation.Decompose(baseScale, baseRotation, basePosition);
  position = ch->mNumPositionKeys ? sampleVector(ch->mPositionKeys, ch->mNumPositionKeys, ticks) : basePosition;
  rotation = ch->mNumRotationKeys ? sampleRotation(ch->mRotationKeys, ch->mNumRotationKeys, ticks) : baseRotation;
  scaling = ch->mNumScalingKeys ? sampleVector(ch->mScalingKeys, ch->mNumScalingKeys, ticks) : baseScale;
  return aiMatrix4x4(scaling, rotation, position);
}

// [SECTION] The converter

class Converter {
 public:
  Converter(const aiScene& scene, const ConvertOptions& options, bool gltf) : scene(scene), options(options), gltf(gltf) {}

  bool run(vkg::SceneFile& out);

 private:
  struct Placement {
    glm::vec3 position;
    glm::vec4 rotation;  // the file's form (see rotationOf)
    glm::vec3 scale;
  };

  void chooseAnimation();
  void convertMaterials(vkg::SceneFile& out);
  int convertNode(vkg::SceneFile& out, const aiNode* node, int parentId);
  std::vector<const aiMesh*> triangleMeshes(const aiNode* node) const;
  void writeMesh(vkg::SceneFile& out, const aiMesh* mesh, const std::string& name, int id, int parentId,
                 const std::vector<glm::mat4>& frames);
  void place(vkg::ObjectRecord& object, const std::vector<glm::mat4>& frames);
  void writeTarget(vkg::SceneFile& out, const std::string& name, int id, int parentId, const std::vector<glm::mat4>& frames,
                   glm::vec3 eye, glm::vec3 direction);
  std::vector<glm::mat4> worldFrames(const aiNode* node) const;
  static Placement decompose(const glm::mat4& m);
  std::string uniqueName(const std::string& wanted);

  const aiScene& scene;
  ConvertOptions options;
  bool gltf;
  Animation anim;
  int frameCount = 1;
  int nextId = 1;
  glm::mat4 upright{1.0f};
  std::map<std::string, const aiCamera*> cameras;
  std::map<std::string, const aiLight*> lights;
  std::set<std::string> names;
};

std::string Converter::uniqueName(const std::string& wanted) {
  std::string name = wanted.empty() ? "Node" + std::to_string(nextId) : wanted.substr(0, vkg::kMaxString);
  if (names.count(name)) {
    const std::string base = name;
    for (int i = 2; names.count(name); ++i) name = base + "." + std::to_string(i);
  }
  names.insert(name);
  return name;
}

void Converter::chooseAnimation() {
  if (scene.mNumAnimations == 0) return;
  anim.animation = scene.mAnimations[0];
  if (scene.mNumAnimations > 1)
    warn("the scene holds " + std::to_string(scene.mNumAnimations) + " animations; a .vkg file plays one: only \"" +
         std::string(anim.animation->mName.C_Str()) + "\" is kept");
  anim.ticksPerSecond = anim.animation->mTicksPerSecond > 0 ? anim.animation->mTicksPerSecond : 25.0;
  for (unsigned i = 0; i < anim.animation->mNumChannels; ++i)
    anim.channels[anim.animation->mChannels[i]->mNodeName.C_Str()] = anim.animation->mChannels[i];
  if (anim.animation->mNumMeshChannels || anim.animation->mNumMorphMeshChannels)
    warn("mesh and morph animation cannot be stored: only node transforms are animated");
  const double seconds = anim.animation->mDuration / anim.ticksPerSecond;
  frameCount = std::max(1, static_cast<int>(std::floor(seconds * options.fps + 1e-6)) + 1);
}

std::vector<glm::mat4> Converter::worldFrames(const aiNode* node) const {
  std::vector<glm::mat4> frames(static_cast<size_t>(frameCount));
  for (int f = 0; f < frameCount; ++f) {
    const double seconds = static_cast<double>(f) / options.fps;
    glm::mat4 m(1.0f);
    for (const aiNode* n = node; n; n = n->mParent) m = toGlm(anim.animation ? localAt(n, anim, seconds) : n->mTransformation) * m;
    frames[static_cast<size_t>(f)] = upright * m;
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

void Converter::place(vkg::ObjectRecord& object, const std::vector<glm::mat4>& frames) {
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

void Converter::convertMaterials(vkg::SceneFile& out) {
  auto& list = out.addMaterialList();
  for (unsigned i = 0; i < scene.mNumMaterials; ++i) {
    const aiMaterial* m = scene.mMaterials[i];
    vkg::MaterialRecord r;
    r.id = static_cast<int32_t>(i) + 1;
    aiString name;
    r.name = m->Get(AI_MATKEY_NAME, name) == AI_SUCCESS ? name.C_Str() : "Material" + std::to_string(i + 1);
    aiColor3D c;
    if (m->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS) r.diffuse = {c.r, c.g, c.b};
    aiColor4D base;
    if (m->Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS) r.diffuse = {base.r, base.g, base.b};
    r.ambient = m->Get(AI_MATKEY_COLOR_AMBIENT, c) == AI_SUCCESS && (c.r + c.g + c.b) > 0 ? glm::vec3(c.r, c.g, c.b)
                                                                                        : r.diffuse * 0.2f;
    if (m->Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS) r.specular = {c.r, c.g, c.b};
    float value = 0;
    if (m->Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) r.opacity = value;
    if (m->Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS && (c.r + c.g + c.b) > 0)
      warn("material \"" + r.name + "\": an emissive colour has no place in a .vkg material: dropped");
    int twoSided = 0;
    if (m->Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided)
      warn("material \"" + r.name + "\": two-sided; the engine draws front faces only");
    if (m->Get(AI_MATKEY_SHININESS, value) == AI_SUCCESS) r.glossiness = std::clamp(value / 128.0f, 0.0f, 1.0f);
    r.specularLevel = m->Get(AI_MATKEY_SHININESS_STRENGTH, value) == AI_SUCCESS ? value : (r.glossiness > 0 ? 1.0f : 0.0f);

    const auto addMaps = [&](aiTextureType type, int32_t mapType, const char* what) {
      for (unsigned t = 0; t < m->GetTextureCount(type); ++t) {
        aiString path;
        if (m->GetTexture(type, t, &path) != AI_SUCCESS) continue;
        const std::string file = path.C_Str();
        if (!file.empty() && file[0] == '*') {
          warn("material \"" + r.name + "\": the embedded " + what + " picture " + file +
               " cannot be stored in a .vkg file (save it as a picture file and name it)");
          continue;
        }
        if (mapType < 0) {
          warn("material \"" + r.name + "\": " + what + " map \"" + fileNameOf(file) + "\" has no place in a .vkg material: dropped");
          continue;
        }
        if (fileNameOf(file).find('.') == std::string::npos) {
          warn("material \"" + r.name + "\": map \"" + file + "\" has no picture type: dropped");
          continue;
        }
        if (t > 0) {
          warn("material \"" + r.name + "\": only the first " + what + " map is used: \"" + fileNameOf(file) + "\" dropped");
          continue;
        }
        r.maps.push_back({fileNameOf(file), mapType});
      }
    };
    addMaps(aiTextureType_DIFFUSE, vkg::kDiffuseMap, "diffuse");
    if (m->GetTextureCount(aiTextureType_DIFFUSE) == 0) addMaps(aiTextureType_BASE_COLOR, vkg::kDiffuseMap, "base colour");
    addMaps(aiTextureType_SHININESS, vkg::kGlossMap, "gloss");
    addMaps(aiTextureType_LIGHTMAP, vkg::kLightMap, "light");
    addMaps(aiTextureType_NORMALS, vkg::kNormalMap, "normal");
    if (m->GetTextureCount(aiTextureType_NORMALS) == 0) addMaps(aiTextureType_HEIGHT, vkg::kNormalMap, "bump");
    addMaps(aiTextureType_REFLECTION, vkg::kReflectionMap, "reflection");
    addMaps(aiTextureType_OPACITY, -1, "opacity");
    addMaps(aiTextureType_EMISSIVE, -1, "emissive");
    addMaps(aiTextureType_SPECULAR, -1, "specular colour");
    addMaps(aiTextureType_METALNESS, -1, "metalness");
    addMaps(aiTextureType_DIFFUSE_ROUGHNESS, -1, "roughness");
    addMaps(aiTextureType_AMBIENT_OCCLUSION, -1, "ambient occlusion");
    list.push_back(std::move(r));
  }
  if (list.empty()) {
    // Every mesh needs a material.
    vkg::MaterialRecord grey;
    grey.id = 1;
    grey.name = "Default";
    list.push_back(grey);
  }
}

void Converter::writeMesh(vkg::SceneFile& out, const aiMesh* mesh, const std::string& name, int id, int parentId,
                          const std::vector<glm::mat4>& frames) {
  vkg::MeshRecord& r = out.addMesh();
  r.object.name = name;
  r.object.id = id;
  r.object.parentId = parentId;
  r.object.materialId = static_cast<int32_t>(mesh->mMaterialIndex) + 1;
  if (static_cast<int>(mesh->mMaterialIndex) >= static_cast<int>(scene.mNumMaterials)) r.object.materialId = 1;
  place(r.object, frames);
  for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
    const aiVector3D& p = mesh->mVertices[v];
    r.positions.emplace_back(p.x, p.y, p.z);
    const aiVector3D n = mesh->mNormals ? mesh->mNormals[v] : aiVector3D(0, 1, 0);
    r.normals.emplace_back(n.x, n.y, n.z);
  }
  // The loader turns v around (the exporter's pictures are upside down to GL), so the
  // importer's v is written as it is.
  for (unsigned set = 0; set < 2; ++set) {
    if (!mesh->HasTextureCoords(set)) continue;
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
      r.texCoords[set].emplace_back(mesh->mTextureCoords[set][v].x, mesh->mTextureCoords[set][v].y);
  }
  if (mesh->HasTextureCoords(2)) warn("mesh \"" + name + "\": texture coordinate sets beyond the second are dropped");
  if (mesh->HasVertexColors(1)) warn("mesh \"" + name + "\": vertex colour sets beyond the first are dropped");
  if (mesh->HasVertexColors(0))
    for (unsigned v = 0; v < mesh->mNumVertices; ++v)
      r.colours.emplace_back(mesh->mColors[0][v].r, mesh->mColors[0][v].g, mesh->mColors[0][v].b);
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    const aiFace& face = mesh->mFaces[f];
    if (face.mNumIndices != 3) continue;  // points and lines were reported at import
    r.faces.push_back({static_cast<int32_t>(face.mIndices[0]), static_cast<int32_t>(face.mIndices[1]),
                       static_cast<int32_t>(face.mIndices[2])});
  }
  if (mesh->HasBones()) warn("mesh \"" + name + "\": skinning (bones) cannot be stored: drawn in its rest pose");
  if (mesh->mNumAnimMeshes) warn("mesh \"" + name + "\": morph targets cannot be stored: dropped");
}

void Converter::writeTarget(vkg::SceneFile& out, const std::string& name, int id, int parentId,
                            const std::vector<glm::mat4>& frames, glm::vec3 eye, glm::vec3 direction) {
  vkg::ObjectRecord& target = out.addObject();
  target.name = uniqueName(name + ".Target");
  target.id = id;
  target.parentId = parentId;
  std::vector<glm::mat4> at;
  for (const glm::mat4& m : frames) {
    const glm::vec3 from = glm::vec3(m * glm::vec4(eye, 1.0f));
    const glm::vec3 ahead = glm::normalize(glm::vec3(m * glm::vec4(direction, 0.0f)));
    at.push_back(glm::translate(glm::mat4(1.0f), from + ahead * kTargetDistance * options.scale));
  }
  place(target, at);
}

std::vector<const aiMesh*> Converter::triangleMeshes(const aiNode* node) const {
  std::vector<const aiMesh*> meshes;
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    const aiMesh* mesh = scene.mMeshes[node->mMeshes[i]];
    if (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) meshes.push_back(mesh);
    else
      warn("node \"" + std::string(node->mName.C_Str()) + "\": " + std::to_string(mesh->mNumFaces) +
           " points or lines cannot be stored (a .vkg mesh holds triangles): dropped");
  }
  return meshes;
}

int Converter::convertNode(vkg::SceneFile& out, const aiNode* node, int parentId) {
  const std::string nodeName = node->mName.C_Str();
  const std::vector<glm::mat4> frames = worldFrames(node);
  const int id = nextId++;

  if (auto camera = cameras.find(nodeName); camera != cameras.end()) {
    const aiCamera* c = camera->second;
    glm::vec3 eye(c->mPosition.x, c->mPosition.y, c->mPosition.z);
    // The importer's glTF reader (up to version 5.2) also copies the node's translation into
    // the camera's own position, which is relative to the node: counted once, not twice.
    aiVector3D scaling, translation;
    aiQuaternion rotation;
    node->mTransformation.Decompose(scaling, rotation, translation);
    if (gltf && c->mPosition == translation) eye = glm::vec3(0.0f);
    std::vector<glm::mat4> at;
    for (const glm::mat4& m : frames) at.push_back(glm::translate(glm::mat4(1.0f), glm::vec3(m * glm::vec4(eye, 1.0f))));
    vkg::CameraRecord& r = out.addCamera();
    r.object.name = uniqueName(nodeName);
    r.object.id = id;
    r.object.parentId = parentId;
    place(r.object, at);
    // The importer's readers give the whole horizontal angle (whatever its comment says).
    r.fov = c->mHorizontalFOV;
    r.nearPlane = c->mClipPlaneNear * options.scale;
    r.farPlane = c->mClipPlaneFar * options.scale;
    r.targetId = nextId++;
    if (std::fabs(c->mUp.y) < 0.99f)
      warn("camera \"" + nodeName + "\": an up vector other than +y cannot be stored: the camera stands upright");
    const std::string cameraName = r.object.name;
    writeTarget(out, cameraName, r.targetId, parentId, frames, eye, {c->mLookAt.x, c->mLookAt.y, c->mLookAt.z});
  } else if (auto light = lights.find(nodeName); light != lights.end()) {
    const aiLight* l = light->second;
    const glm::vec3 where(l->mPosition.x, l->mPosition.y, l->mPosition.z);
    std::vector<glm::mat4> at;
    for (const glm::mat4& m : frames) at.push_back(glm::translate(glm::mat4(1.0f), glm::vec3(m * glm::vec4(where, 1.0f))));
    vkg::LightRecord& r = out.addLight();
    r.object.name = uniqueName(nodeName);
    r.object.id = id;
    r.object.parentId = parentId;
    place(r.object, at);
    const glm::vec3 colour(l->mColorDiffuse.r, l->mColorDiffuse.g, l->mColorDiffuse.b);
    r.multiplier = std::max({colour.r, colour.g, colour.b, 1e-6f});
    r.colour = colour / r.multiplier;
    if (l->mAttenuationLinear > 0) r.range = 2.0f / l->mAttenuationLinear * options.scale;
    if (l->mAttenuationQuadratic > 0)
      warn("light \"" + nodeName + "\": quadratic attenuation cannot be stored (only a linear range): dropped");
    bool aimed = false;
    switch (l->mType) {
      case aiLightSource_SPOT:
        r.lightType = vkg::kTargetSpotLight;
        r.cutoff = l->mAngleOuterCone * 180.0f / kPi;
        aimed = true;
        break;
      case aiLightSource_DIRECTIONAL:
        r.lightType = vkg::kDirectionalLight;
        aimed = true;
        warn("light \"" + nodeName + "\": directional; the engine lights from its position, placed where it is");
        break;
      case aiLightSource_POINT:
        r.lightType = vkg::kOmniLight;
        break;
      default:
        r.lightType = vkg::kOmniLight;
        warn("light \"" + nodeName + "\": ambient and area lights are written as omni lights");
        break;
    }
    if (aimed) {
      r.targetId = nextId++;
      const std::string lightName = r.object.name;
      writeTarget(out, lightName, r.targetId, parentId, frames, where, {l->mDirection.x, l->mDirection.y, l->mDirection.z});
    }
  } else if (const std::vector<const aiMesh*> meshes = triangleMeshes(node); meshes.size() == 1) {
    writeMesh(out, meshes.front(), uniqueName(nodeName), id, parentId, frames);
  } else {
    vkg::ObjectRecord& r = out.addObject();
    r.name = uniqueName(nodeName);
    r.id = id;
    r.parentId = parentId;
    place(r, frames);
    // Meshes of a node hang under it, each placed as the node is.
    for (size_t i = 0; i < meshes.size(); ++i) {
      const std::string meshName = meshes[i]->mName.length ? meshes[i]->mName.C_Str() : "Mesh" + std::to_string(i + 1);
      writeMesh(out, meshes[i], uniqueName(nodeName + "." + meshName), nextId++, id, frames);
    }
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) convertNode(out, node->mChildren[i], id);
  return id;
}

bool Converter::run(vkg::SceneFile& out) {
  for (unsigned i = 0; i < scene.mNumCameras; ++i) cameras[scene.mCameras[i]->mName.C_Str()] = scene.mCameras[i];
  for (unsigned i = 0; i < scene.mNumLights; ++i) lights[scene.mLights[i]->mName.C_Str()] = scene.mLights[i];

  // A model that says z is up is turned so that y is.
  int32_t upAxis = 1, upSign = 1;
  if (scene.mMetaData) {
    scene.mMetaData->Get("UpAxis", upAxis);
    scene.mMetaData->Get("UpAxisSign", upSign);
  }
  upright = glm::scale(glm::mat4(1.0f), glm::vec3(options.scale));
  if (upAxis == 2) upright = glm::rotate(upright, -kPi / 2 * static_cast<float>(upSign), glm::vec3(1, 0, 0));
  else if (upAxis == 0) upright = glm::rotate(upright, kPi / 2 * static_cast<float>(upSign), glm::vec3(0, 0, 1));

  chooseAnimation();
  out.firstFrame = 0;
  out.frameStep = std::max(1, static_cast<int>(std::lround(1000.0 / options.fps)));
  out.lastFrame = (frameCount - 1) * out.frameStep;
  convertMaterials(out);
  convertNode(out, scene.mRootNode, -1);
  if (out.cameras.empty()) warn("the model has no camera: the scene effect stops on \"no camera in scene\" until one is added");
  return true;
}

}  // namespace

int convertModel(const std::string& input, const std::string& output, const ConvertOptions& options) {
  Assimp::Importer importer;
  importer.SetPropertyInteger(AI_CONFIG_PP_SLM_VERTEX_LIMIT, kVertexLimit);
  importer.SetPropertyInteger(AI_CONFIG_PP_SLM_TRIANGLE_LIMIT, 1 << 30);
  // Points and lines are sorted into meshes of their own, which are reported and left out.
  const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
                         aiProcess_SplitLargeMeshes | aiProcess_SortByPType | aiProcess_ValidateDataStructure;
  const aiScene* scene = importer.ReadFile(input, flags);
  if (!scene || !scene->mRootNode) {
    std::fprintf(stderr, "vkg: %s: %s\n", input.c_str(), importer.GetErrorString());
    return 1;
  }
  // The importer calls a model without meshes incomplete; its nodes, cameras and lights
  // still make a scene.
  if (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) warn(input + ": the model holds no meshes");
  vkg::SceneFile file;
  std::string extension = input.substr(std::min(input.size(), input.find_last_of('.')));
  for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  Converter converter(*scene, options, extension == ".gltf" || extension == ".glb");
  converter.run(file);
  if (!vkg::saveSceneFile(file, output)) {
    std::fprintf(stderr, "vkg: %s: cannot be written\n", output.c_str());
    return 1;
  }
  return 0;
}
