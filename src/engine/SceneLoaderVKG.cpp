#include "engine/SceneLoaderVKG.h"

#include <cmath>
#include <map>
#include <set>

#include "archive/FileRequests.h"
#include "archive/vkd.h"
#include "base/Error.h"
#include "base/LoadRecord.h"
#include "engine/Material.h"
#include "engine/MeshObject.h"
#include "engine/Scene.h"
#include "resources/Texture.h"
#include "sceneFile/VKGFile.h"

// [SECTION] SceneManager

SceneManager& SceneManager::instance() {
  // Never destroyed: a scene's buffers and textures cannot be deleted once the GL context
  // is gone at exit.
  static SceneManager* manager = new SceneManager;
  return *manager;
}

Scene* SceneManager::findScene(const std::string& fileName) { return scenes.acquire(fileName); }

int SceneManager::addScene(const std::string& fileName, Scene* scene) { return scenes.add(fileName, scene); }

namespace {

bool holdsTexture(const Scene& scene, const std::set<const Texture*>& textures) {
  for (const auto& [id, material] : scene.getMaterials())
    for (const Texture* t : {material->getDiffuseMap(), material->getReflectionMap(), material->getGlossMap(),
                             material->getLightMap(), material->getNormalMap(), material->getCubeMap()})
      if (t && textures.count(t)) return true;
  for (int i = 0; i < scene.lightCount(); ++i)
    if (const Texture* t = scene.light(i)->projectorMap; t && textures.count(t)) return true;
  return false;
}

}  // namespace

std::vector<std::unique_ptr<Scene>> SceneManager::releaseScenes(const std::vector<std::string>& changedFiles,
                                                                const std::vector<const Texture*>& releasedTextures) {
  std::set<std::string> changed;
  for (const std::string& file : changedFiles) changed.insert(dataFileKey(file));
  const std::set<const Texture*> textures(releasedTextures.begin(), releasedTextures.end());
  return scenes.releaseIf([&](const std::string& name, const Scene& scene) {
    return changed.count(dataFileKey(name)) > 0 || holdsTexture(scene, textures);
  });
}

// [SECTION] Loading

namespace {

std::string compressedFolder;
std::string textureFolder;
thread_local std::string failure;

void setUpObject(SceneObject& object, const vkg::ObjectRecord& record, int frameDuration) {
  object.setPosition(record.position);
  object.setRotationQuaternion(glm::quat(record.rotation.w, record.rotation.x, record.rotation.y, record.rotation.z));
  object.setScale(record.scale);
  object.setPivot(record.pivot);
  object.frameDuration = frameDuration;
  if (record.positionKeys.empty() && record.rotationKeys.empty() && record.scaleKeys.empty()) return;
  std::vector<glm::quat> rotations;
  rotations.reserve(record.rotationKeys.size());
  for (const glm::vec4& q : record.rotationKeys) rotations.emplace_back(q.w, q.x, q.y, q.z);
  object.setKeys(record.positionKeys, std::move(rotations), record.scaleKeys, frameDuration);
}

void addMaterial(Scene& scene, const vkg::MaterialRecord& record) {
  auto material = std::make_unique<Material>(record.id, record.name);
  material->setAmbient(glm::vec4(record.ambient, 1.0f));
  material->setDiffuse(glm::vec4(record.diffuse, 1.0f));
  material->setSpecular(glm::vec4(record.specular, 1.0f));
  material->setShininess(record.glossiness, record.specularLevel);
  material->setOpacity(record.opacity);
  material->setTwoSided(false);

  // One file per map type, the first one named; used in ascending type.
  std::map<int32_t, std::string> maps;
  for (const vkg::MapRecord& map : record.maps) maps.emplace(map.type, map.fileName);
  for (const auto& [type, fileName] : maps) {
    Texture* texture = SceneLoaderVKG::loadSceneTexture(fileName);
    if (!texture) continue;
    switch (type) {
      case 0:
      case 3:
      case 4:
      case 5:
      case 11:
        reportError(DE_HERE, "Unsupported texture type", false);
        break;
      case vkg::kDiffuseMap:
        material->setDiffuseMap(texture);
        break;
      case vkg::kGlossMap:
        material->setGlossMap(texture);
        break;
      case vkg::kOpacityMap:
        material->setOpacityMap(texture);
        break;
      case vkg::kLightMap:
        material->setLightMap(texture);
        break;
      case vkg::kNormalMap:
        material->setNormalMap(texture);
        break;
      case vkg::kReflectionMap:
        material->setReflectionMap(texture);
        break;
      case vkg::kAdditiveDiffuseMap:
        material->setDiffuseMap(texture);
        material->setAdditive(true);
        break;
      default:
        break;
    }
  }
  material->chooseShadeModel();
  scene.addMaterial(std::move(material));  // a second material of one id is dropped
}

void addLight(Scene& scene, const vkg::LightRecord& record, int frameDuration) {
  auto light = std::make_unique<Light>(record.object.id, record.object.name);
  setUpObject(*light, record.object, frameDuration);
  light->setColour(glm::vec4(record.colour * record.multiplier, 1.0f));
  light->linearAttenuation = record.range > 0 ? 1.0f / (record.range * 0.5f) : 0.0f;
  const bool targeted = record.lightType == vkg::kTargetSpotLight || record.lightType == vkg::kDirectionalLight;
  light->targetId = targeted ? record.targetId : -1;
  if (record.lightType == vkg::kTargetSpotLight || record.lightType == vkg::kFreeSpotLight)
    light->setSpot(record.cutoff, record.exponent);
  else
    light->setSpot(180.0f, 0.0f);
  if (record.hasProjectorMap != 0) {
    if (Texture* map = SceneLoaderVKG::loadSceneTexture(record.projectorMap)) {
      light->projectorMap = map;
      light->enabled = false;  // a projector only lights through its map
    }
  }
  scene.addLight(std::move(light), record.object.parentId);
}

void addCamera(Scene& scene, const vkg::CameraRecord& record, int frameDuration) {
  auto camera = std::make_unique<Camera>(record.object.id, record.object.name);
  setUpObject(*camera, record.object, frameDuration);
  camera->fovY = SceneLoaderVKG::verticalFovDegrees(record.fov);
  camera->fileFovY = camera->fovY;
  camera->nearPlane = record.nearPlane;
  camera->farPlane = record.farPlane;
  camera->targetId = record.targetId;
  scene.addCamera(std::move(camera), record.object.parentId);
}

void addMesh(Scene& scene, const vkg::MeshRecord& record, int frameDuration) {
  auto mesh = std::make_unique<MeshObject>(record.object.id, record.object.name);
  setUpObject(*mesh, record.object, frameDuration);
  mesh->setMaterialId(record.object.materialId);
  const size_t count = record.positions.size();
  // Vertex i takes normal i and coordinates i; the reader made sure there are enough.
  std::vector<glm::vec3> normals(record.normals.begin(), record.normals.begin() + static_cast<std::ptrdiff_t>(count));
  const auto coordinates = [count](const std::vector<glm::vec2>& channel) {
    std::vector<glm::vec2> set;
    if (channel.empty()) return set;
    set.reserve(count);
    for (size_t i = 0; i < count; ++i) set.emplace_back(channel[i].x, -channel[i].y);
    return set;
  };
  const std::vector<glm::vec2>& second = record.texCoords[2].empty() ? record.texCoords[1] : record.texCoords[2];
  std::vector<glm::vec4> colours;
  colours.reserve(record.colours.size());
  for (const glm::vec3& c : record.colours) colours.emplace_back(c, 1.0f);
  std::vector<std::array<int, 3>> faces(record.faces.begin(), record.faces.end());
  mesh->setGeometry(record.positions, std::move(normals), coordinates(record.texCoords[0]), coordinates(second),
                    std::move(colours), std::move(faces));
  scene.addObject(std::move(mesh), record.object.parentId);
}

std::unique_ptr<Scene> buildScene(const vkg::SceneFile& file) {
  auto scene = std::make_unique<Scene>();
  const int frameDuration = file.frameStep;
  scene->setFrames(static_cast<int>(file.frameCount()), frameDuration);
  for (const vkg::ChunkRef& chunk : file.chunks) {
    switch (chunk.tag) {
      case vkg::kMaterialList:
        for (const vkg::MaterialRecord& m : file.materialLists[chunk.index]) addMaterial(*scene, m);
        break;
      case vkg::kLight:
        addLight(*scene, file.lights[chunk.index], frameDuration);
        break;
      case vkg::kCamera:
        addCamera(*scene, file.cameras[chunk.index], frameDuration);
        break;
      case vkg::kMesh:
        addMesh(*scene, file.meshes[chunk.index], frameDuration);
        break;
      case vkg::kDummy: {
        const vkg::DummyRecord& d = file.dummies[chunk.index];
        scene->addObject(std::make_unique<SceneObject>(d.id, d.name), -1);  // never under a parent
        break;
      }
      case vkg::kObject: {
        const vkg::ObjectRecord& o = file.objects[chunk.index];
        auto object = std::make_unique<SceneObject>(o.id, o.name);
        setUpObject(*object, o, frameDuration);
        scene->addObject(std::move(object), o.parentId);
        break;
      }
      default:
        break;
    }
  }
  scene->finishLoading();
  return scene;
}

}  // namespace

namespace SceneLoaderVKG {

const std::string& lastFailure() { return failure; }

Scene* load(const std::string& fileName, const std::string& compressedTextureFolder,
            const std::string& textureFolderName) {
  failure.clear();
  // A scene from the cache starts with its cameras as a first load has them: the scene
  // effects read the active camera's field of view as their default, and a reload must
  // build what a fresh start builds.
  if (Scene* cached = SceneManager::instance().findScene(fileName)) {
    cached->resetCameras();
    return cached;
  }

  MemoryFile* memory = loadFile(fileName.c_str());
  if (!memory) {
    failure = "file not found";
    return nullptr;
  }
  compressedFolder = compressedTextureFolder;
  textureFolder = textureFolderName;
  vkg::SceneFile file;
  const vkg::ReadResult read = vkg::readSceneFile(memory->data, memory->size, file);
  closeFile(memory);
  if (read.status == vkg::ReadStatus::kUnknownTag) {
    // A chunk this engine does not know: the file was written for something else.
    failure = read.reason;
    assertTrue(false, DE_HERE);
    return nullptr;
  }
  if (read.status != vkg::ReadStatus::kOk) {
    failure = read.reason;
    return nullptr;
  }
  std::unique_ptr<Scene> scene = buildScene(file);
  Scene* built = scene.get();
  if (SceneManager::instance().addScene(fileName, built) != 0) {
    // Only a load that ran while another cached the same name gets here; keep the first.
    return SceneManager::instance().findScene(fileName);
  }
  scene.release();  // the cache owns it now
  return built;
}

Texture* loadSceneTexture(const std::string& name) {
  if (name.empty()) return nullptr;
  // Exporters write the folder of the picture on their machine: only the file name counts.
  const size_t slash = name.find_last_of("\\/");
  const std::string fileName = slash == std::string::npos ? name : name.substr(slash + 1);
  const size_t dot = fileName.rfind('.');
  assertTrue(dot != std::string::npos, DE_HERE);  // a map name must carry its picture type
  TextureManager& textures = TextureManager::instance();
  Texture* texture = nullptr;
  {
    // Most scenes have no compressed pictures: not finding one is no problem to report.
    MutedLoadProblems quiet;
    texture = textures.getTexture(fileName.substr(0, dot) + ".dds", compressedFolder, GL_TEXTURE_2D, kTextureMipmapped);
  }
  if (!texture) texture = textures.getTexture(fileName, textureFolder, GL_TEXTURE_2D, kTextureMipmapped);
  return texture;
}

}  // namespace SceneLoaderVKG

float SceneLoaderVKG::verticalFovDegrees(float fileFov) {
  // The file's horizontal angle to the vertical one of a 4:3 picture.
  return static_cast<float>(2.0 * std::atan(std::tan(fileFov / 2.0) * 0.7500188) * 180.0 / 3.14159265358979);
}
