#pragma once
// The bytes of a .vkg scene file as plain records: read from a buffer (checking every count
// against the bytes that are left, so no input can make it read past the buffer, allocate
// more than the file could hold or loop) and written back. No GL here: the scene loader
// builds a Scene from these records, and the tools (vkg, the sample demo's generator) and
// the tests write files with them.
//
// Layout: little-endian, no padding; a string is an int32 byte count (at most 1999) and the
// bytes. A 19-byte header (3 magic bytes, version 1, first and last frame, frame step), then
// tagged chunks up to the end tag. Writing what was read gives the same bytes, reserved
// fields and chunk order included.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

namespace vkg {

constexpr int32_t kVersion = 1;
constexpr size_t kMaxString = 1999;
constexpr size_t kHeaderSize = 19;

// Chunk tags.
constexpr int32_t kMaterialList = 1;
constexpr int32_t kLight = 3;
constexpr int32_t kCamera = 4;
constexpr int32_t kMesh = 5;
constexpr int32_t kDummy = 6;
constexpr int32_t kObject = 7;
constexpr int32_t kEnd = 0x9999;

// Map types of material records.
enum MapType : int32_t {
  kDiffuseMap = 1,
  kGlossMap = 2,
  kOpacityMap = 6,
  kLightMap = 7,
  kNormalMap = 8,
  kReflectionMap = 9,
  kAdditiveDiffuseMap = 10,
};

// Light types.
constexpr int32_t kOmniLight = 0;
constexpr int32_t kTargetSpotLight = 1;
constexpr int32_t kFreeSpotLight = 2;
constexpr int32_t kDirectionalLight = 3;

// The common head of lights, cameras, meshes and plain objects. A quaternion is (x, y, z, w).
struct ObjectRecord {
  std::string name;
  int32_t id = 0;
  int32_t parentId = -1;
  int32_t materialId = 0;
  glm::vec3 position{0.0f};
  glm::vec4 rotation{0.0f, 0.0f, 0.0f, 1.0f};
  glm::vec3 scale{1.0f};
  glm::vec3 pivot{0.0f};
  std::vector<glm::vec3> positionKeys;  // one per animation frame
  std::vector<glm::vec4> rotationKeys;
  std::vector<glm::vec3> scaleKeys;
};

struct MapRecord {
  std::string fileName;
  int32_t type = kDiffuseMap;
};

struct MaterialRecord {
  int32_t reserved0 = 0;
  int32_t id = 0;
  std::string name;
  float reserved1 = 0.0f;
  glm::vec3 diffuse{0.8f};
  glm::vec3 ambient{0.2f};
  glm::vec3 specular{0.0f};
  float opacity = 1.0f;
  float glossiness = 0.0f;
  float specularLevel = 0.0f;
  std::vector<MapRecord> maps;
};

struct LightRecord {
  ObjectRecord object;
  int32_t lightType = kOmniLight;
  glm::vec3 colour{1.0f};
  float multiplier = 1.0f;
  std::array<float, 2> reserved{0.0f, 0.0f};
  float range = 0.0f;  // <= 0: no attenuation
  float cutoff = 180.0f;
  float exponent = 0.0f;
  int32_t targetId = -1;
  int32_t hasProjectorMap = 0;
  std::string projectorMap;  // only when hasProjectorMap != 0
};

struct CameraRecord {
  ObjectRecord object;
  float fov = 0.785398f;  // horizontal, radians
  float nearPlane = 1.0f;
  float farPlane = 2000.0f;
  float reserved = 0.0f;
  int32_t targetId = -1;
};

struct MeshRecord {
  ObjectRecord object;
  std::vector<glm::vec3> positions;
  std::vector<glm::vec3> normals;  // at least as many as positions
  std::array<std::vector<glm::vec2>, 3> texCoords;
  std::vector<glm::vec3> colours;
  std::vector<std::array<int32_t, 3>> faces;
};

struct DummyRecord {
  int32_t id = 0;
  std::string name;
  int32_t reserved = 0;
};

// Which record a chunk holds: its tag and its index in the list of that kind.
struct ChunkRef {
  int32_t tag;
  size_t index;
};

struct SceneFile {
  std::array<uint8_t, 3> magic{'V', 'K', 'G'};
  int32_t version = kVersion;
  int32_t firstFrame = 0;
  int32_t lastFrame = 0;
  int32_t frameStep = 160;
  std::vector<std::vector<MaterialRecord>> materialLists;
  std::vector<LightRecord> lights;
  std::vector<CameraRecord> cameras;
  std::vector<MeshRecord> meshes;
  std::vector<DummyRecord> dummies;
  std::vector<ObjectRecord> objects;
  std::vector<ChunkRef> chunks;  // file order

  // (lastFrame − firstFrame) / frameStep + 1, integer division.
  int64_t frameCount() const;

  // Appending keeps the file order; each returns the new record.
  std::vector<MaterialRecord>& addMaterialList();
  LightRecord& addLight();
  CameraRecord& addCamera();
  MeshRecord& addMesh();
  DummyRecord& addDummy();
  ObjectRecord& addObject();
};

enum class ReadStatus {
  kOk,
  kWrongVersion,  // not version 1: no scene, like a missing file
  kUnknownTag,    // a chunk tag outside the table (the loader stops the demo on it)
  kMalformed,     // anything else a writer of this format cannot have meant
};

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  std::string reason;  // empty when ok; otherwise what is wrong and at which byte
  int32_t unknownTag = 0;
};

// Reads a whole file. Beyond the bytes' own limits, a file is refused as malformed when the
// engine could not play it: a frame step of 0 or less, a frame count of 0 or less, fewer
// normals than vertices, a face index outside the vertex list or beyond 16 bits, a texture
// channel that feeds a coordinate set (the first; the third when it is not empty, otherwise
// the second) with some coordinates but not one a vertex, an object parented deeper than
// kMaxDepth levels, or its end before the end tag.
ReadResult readSceneFile(const uint8_t* data, size_t size, SceneFile& out);
constexpr int kMaxDepth = 256;

// The shade model the engine gives a material when every map it names loads: the engine's
// choice (Material::chooseShadeModel) restricted to the slots a file can fill.
int shadeModelOf(const MaterialRecord& material);

// The file's bytes.
std::vector<uint8_t> writeSceneFile(const SceneFile& file);
// Writes to disk; false (and errno) when the file cannot be written.
bool saveSceneFile(const SceneFile& file, const std::string& path);

}  // namespace vkg
