#include "sceneFile/VKGFile.h"

#include <cstdio>
#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

namespace vkg {

namespace {

// [SECTION] Reading

// A cursor over the file that fails (and stays failed) instead of reading past the end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data(data), size(size) {}

  bool failed() const { return !why.empty(); }
  size_t offset() const { return position; }
  size_t left() const { return size - position; }

  void fail(const std::string& reason) {
    if (why.empty()) why = reason + " (byte " + std::to_string(position) + ")";
  }
  const std::string& reason() const { return why; }

  bool bytes(void* destination, size_t n) {
    if (failed()) return false;
    if (n > left()) {
      fail("the file ends before the end tag");
      return false;
    }
    std::memcpy(destination, data + position, n);
    position += n;
    return true;
  }
  int32_t int32() {
    uint8_t b[4] = {};
    if (!bytes(b, 4)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
  }
  float float32() {
    const uint32_t bits = static_cast<uint32_t>(int32());
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  glm::vec2 vec2() {
    const float x = float32();
    return {x, float32()};
  }
  glm::vec3 vec3() {
    const float x = float32(), y = float32();
    return {x, y, float32()};
  }
  glm::vec4 vec4() {
    const float x = float32(), y = float32(), z = float32();
    return {x, y, z, float32()};
  }
  std::string string() {
    const int32_t n = int32();
    if (failed()) return {};
    if (n < 0 || static_cast<size_t>(n) > kMaxString) {
      fail("a string of " + std::to_string(n) + " bytes");
      return {};
    }
    std::string s(static_cast<size_t>(n), '\0');
    bytes(s.data(), s.size());
    return s;
  }
  // A count of elements of `elementSize` bytes that must all still be in the file.
  size_t count(size_t elementSize, const char* what) {
    const int32_t n = int32();
    if (failed()) return 0;
    if (n < 0) {
      fail(std::string("a negative count of ") + what);
      return 0;
    }
    if (static_cast<size_t>(n) > left() / elementSize) {
      fail(std::string("more ") + what + " than the file holds");
      return 0;
    }
    return static_cast<size_t>(n);
  }
  template <class T, class F>
  void list(std::vector<T>& out, size_t elementSize, const char* what, F&& element) {
    const size_t n = count(elementSize, what);
    out.resize(n);
    for (T& item : out) item = element();
  }

 private:
  const uint8_t* data;
  size_t size;
  size_t position = 0;
  std::string why;
};

void readObject(Reader& in, ObjectRecord& o) {
  o.name = in.string();
  o.id = in.int32();
  o.parentId = in.int32();
  o.materialId = in.int32();
  o.position = in.vec3();
  o.rotation = in.vec4();
  o.scale = in.vec3();
  o.pivot = in.vec3();
  in.list(o.positionKeys, 12, "position keys", [&] { return in.vec3(); });
  in.list(o.rotationKeys, 16, "rotation keys", [&] { return in.vec4(); });
  in.list(o.scaleKeys, 12, "scale keys", [&] { return in.vec3(); });
}

void readMaterial(Reader& in, MaterialRecord& m) {
  m.reserved0 = in.int32();
  m.id = in.int32();
  m.name = in.string();
  m.reserved1 = in.float32();
  m.diffuse = in.vec3();
  m.ambient = in.vec3();
  m.specular = in.vec3();
  m.opacity = in.float32();
  m.glossiness = in.float32();
  m.specularLevel = in.float32();
  // A map is at least a string's count and the type.
  in.list(m.maps, 8, "maps", [&] {
    MapRecord map;
    map.fileName = in.string();
    map.type = in.int32();
    return map;
  });
}

void readLight(Reader& in, LightRecord& l) {
  readObject(in, l.object);
  l.lightType = in.int32();
  l.colour = in.vec3();
  l.multiplier = in.float32();
  l.reserved = {in.float32(), in.float32()};
  l.range = in.float32();
  l.cutoff = in.float32();
  l.exponent = in.float32();
  l.targetId = in.int32();
  l.hasProjectorMap = in.int32();
  if (l.hasProjectorMap != 0) l.projectorMap = in.string();
}

void readCamera(Reader& in, CameraRecord& c) {
  readObject(in, c.object);
  c.fov = in.float32();
  c.nearPlane = in.float32();
  c.farPlane = in.float32();
  c.reserved = in.float32();
  c.targetId = in.int32();
}

void readMesh(Reader& in, MeshRecord& m) {
  readObject(in, m.object);
  in.list(m.positions, 12, "vertices", [&] { return in.vec3(); });
  const size_t vertexCount = m.positions.size();
  in.list(m.normals, 12, "normals", [&] { return in.vec3(); });
  if (!in.failed() && m.normals.size() < vertexCount) in.fail("fewer normals than vertices");
  for (auto& channel : m.texCoords) in.list(channel, 8, "texture coordinates", [&] { return in.vec2(); });
  // The mesh draws coordinate i with vertex i: a channel that feeds one of its two sets must
  // hold one coordinate a vertex or none. A non-empty third channel takes the second's
  // place, so the second's length does not matter then.
  const bool thirdReplacesSecond = !m.texCoords[2].empty();
  for (size_t c = 0; c < 3 && !in.failed(); ++c) {
    const size_t n = m.texCoords[c].size();
    if (n == 0 || n == vertexCount || (c == 1 && thirdReplacesSecond)) continue;
    in.fail(std::string(n < vertexCount ? "fewer" : "more") + " texture coordinates than vertices in channel " +
            std::to_string(c + 1));
  }
  in.list(m.colours, 12, "colours", [&] { return in.vec3(); });
  in.list(m.faces, 12, "faces", [&] {
    std::array<int32_t, 3> face{};
    for (int32_t& index : face) {
      index = in.int32();
      if (in.failed()) break;
      if (index < 0 || static_cast<size_t>(index) >= vertexCount) in.fail("a face index outside the vertices");
      // The engine draws with 16-bit indices.
      else if (index > 65535) in.fail("a face index beyond 65535");
    }
    return face;
  });
}

// Tracks how deep each object sits, as the scene will attach it (by the first object of the
// parent's id that came before it), so that no file can build a tree deep enough to
// exhaust the stack of the recursive passes.
class DepthCheck {
 public:
  void add(Reader& in, int32_t id, int32_t parentId) {
    int depth = 0;
    if (parentId != -1) {
      auto parent = depths.find(parentId);
      if (parent != depths.end()) depth = parent->second + 1;
    }
    if (depth > kMaxDepth) in.fail("objects nested more than " + std::to_string(kMaxDepth) + " deep");
    depths.emplace(id, depth);
  }

 private:
  std::map<int32_t, int> depths;
};

bool readChunks(Reader& in, SceneFile& out, ReadResult& result) {
  DepthCheck depth;
  while (!in.failed()) {
    const int32_t tag = in.int32();
    if (in.failed()) break;
    switch (tag) {
      case kEnd:
        return true;
      case kMaterialList: {
        auto& list = out.addMaterialList();
        const size_t n = in.count(68, "materials");  // a material record is at least 68 bytes
        for (size_t i = 0; i < n && !in.failed(); ++i) readMaterial(in, list.emplace_back());
        break;
      }
      case kLight: {
        LightRecord& light = out.addLight();
        readLight(in, light);
        depth.add(in, light.object.id, light.object.parentId);
        break;
      }
      case kCamera: {
        CameraRecord& camera = out.addCamera();
        readCamera(in, camera);
        depth.add(in, camera.object.id, camera.object.parentId);
        break;
      }
      case kMesh: {
        MeshRecord& mesh = out.addMesh();
        readMesh(in, mesh);
        depth.add(in, mesh.object.id, mesh.object.parentId);
        break;
      }
      case kDummy: {
        DummyRecord& dummy = out.addDummy();
        dummy.id = in.int32();
        dummy.name = in.string();
        dummy.reserved = in.int32();
        depth.add(in, dummy.id, -1);
        break;
      }
      case kObject: {
        ObjectRecord& object = out.addObject();
        readObject(in, object);
        depth.add(in, object.id, object.parentId);
        break;
      }
      default:
        result.status = ReadStatus::kUnknownTag;
        result.unknownTag = tag;
        result.reason = "unknown chunk tag " + std::to_string(tag) + " (byte " + std::to_string(in.offset() - 4) + ")";
        return false;
    }
  }
  return false;
}

// [SECTION] Writing

class Writer {
 public:
  void int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    out.insert(out.end(), {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)});
  }
  void float32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    int32(static_cast<int32_t>(bits));
  }
  void vec(const glm::vec2& v) {
    for (int i = 0; i < 2; ++i) float32(v[i]);
  }
  void vec(const glm::vec3& v) {
    for (int i = 0; i < 3; ++i) float32(v[i]);
  }
  void vec(const glm::vec4& v) {
    for (int i = 0; i < 4; ++i) float32(v[i]);
  }
  // Longer strings are cut to the limit: a reader refuses them.
  void string(const std::string& s) {
    const size_t n = std::min(s.size(), kMaxString);
    int32(static_cast<int32_t>(n));
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
  }
  template <class T>
  void list(const std::vector<T>& items) {
    int32(static_cast<int32_t>(items.size()));
    for (const T& item : items) vec(item);
  }

  std::vector<uint8_t> out;
};

void writeObject(Writer& w, const ObjectRecord& o) {
  w.string(o.name);
  w.int32(o.id);
  w.int32(o.parentId);
  w.int32(o.materialId);
  w.vec(o.position);
  w.vec(o.rotation);
  w.vec(o.scale);
  w.vec(o.pivot);
  w.list(o.positionKeys);
  w.list(o.rotationKeys);
  w.list(o.scaleKeys);
}

void writeMaterial(Writer& w, const MaterialRecord& m) {
  w.int32(m.reserved0);
  w.int32(m.id);
  w.string(m.name);
  w.float32(m.reserved1);
  w.vec(m.diffuse);
  w.vec(m.ambient);
  w.vec(m.specular);
  w.float32(m.opacity);
  w.float32(m.glossiness);
  w.float32(m.specularLevel);
  w.int32(static_cast<int32_t>(m.maps.size()));
  for (const MapRecord& map : m.maps) {
    w.string(map.fileName);
    w.int32(map.type);
  }
}

void writeChunk(Writer& w, const SceneFile& f, const ChunkRef& chunk) {
  w.int32(chunk.tag);
  switch (chunk.tag) {
    case kMaterialList: {
      const auto& list = f.materialLists[chunk.index];
      w.int32(static_cast<int32_t>(list.size()));
      for (const MaterialRecord& m : list) writeMaterial(w, m);
      break;
    }
    case kLight: {
      const LightRecord& l = f.lights[chunk.index];
      writeObject(w, l.object);
      w.int32(l.lightType);
      w.vec(l.colour);
      w.float32(l.multiplier);
      w.float32(l.reserved[0]);
      w.float32(l.reserved[1]);
      w.float32(l.range);
      w.float32(l.cutoff);
      w.float32(l.exponent);
      w.int32(l.targetId);
      w.int32(l.hasProjectorMap);
      if (l.hasProjectorMap != 0) w.string(l.projectorMap);
      break;
    }
    case kCamera: {
      const CameraRecord& c = f.cameras[chunk.index];
      writeObject(w, c.object);
      w.float32(c.fov);
      w.float32(c.nearPlane);
      w.float32(c.farPlane);
      w.float32(c.reserved);
      w.int32(c.targetId);
      break;
    }
    case kMesh: {
      const MeshRecord& m = f.meshes[chunk.index];
      writeObject(w, m.object);
      w.list(m.positions);
      w.list(m.normals);
      for (const auto& channel : m.texCoords) w.list(channel);
      w.list(m.colours);
      w.int32(static_cast<int32_t>(m.faces.size()));
      for (const auto& face : m.faces)
        for (const int32_t index : face) w.int32(index);
      break;
    }
    case kDummy: {
      const DummyRecord& d = f.dummies[chunk.index];
      w.int32(d.id);
      w.string(d.name);
      w.int32(d.reserved);
      break;
    }
    case kObject:
      writeObject(w, f.objects[chunk.index]);
      break;
    default:
      break;
  }
}

}  // namespace

// [SECTION] SceneFile

int64_t SceneFile::frameCount() const {
  if (frameStep == 0) return 0;
  return (static_cast<int64_t>(lastFrame) - firstFrame) / frameStep + 1;
}

std::vector<MaterialRecord>& SceneFile::addMaterialList() {
  chunks.push_back({kMaterialList, materialLists.size()});
  return materialLists.emplace_back();
}
LightRecord& SceneFile::addLight() {
  chunks.push_back({kLight, lights.size()});
  return lights.emplace_back();
}
CameraRecord& SceneFile::addCamera() {
  chunks.push_back({kCamera, cameras.size()});
  return cameras.emplace_back();
}
MeshRecord& SceneFile::addMesh() {
  chunks.push_back({kMesh, meshes.size()});
  return meshes.emplace_back();
}
DummyRecord& SceneFile::addDummy() {
  chunks.push_back({kDummy, dummies.size()});
  return dummies.emplace_back();
}
ObjectRecord& SceneFile::addObject() {
  chunks.push_back({kObject, objects.size()});
  return objects.emplace_back();
}

int shadeModelOf(const MaterialRecord& material) {
  bool diffuse = false, light = false, reflection = false, normal = false;
  for (const MapRecord& map : material.maps) {
    diffuse |= map.type == kDiffuseMap || map.type == kAdditiveDiffuseMap;
    light |= map.type == kLightMap;
    reflection |= map.type == kReflectionMap;
    normal |= map.type == kNormalMap;
  }
  if (diffuse && reflection) return 4;
  if (diffuse && light) return 5;
  if (light) return 6;
  if (diffuse) return 1;
  if (reflection && normal) return 8;
  if (reflection) return 2;
  return 0;
}

// [SECTION] Entry points

ReadResult readSceneFile(const uint8_t* data, size_t size, SceneFile& out) {
  out = SceneFile{};
  ReadResult result;
  Reader in(data, size);
  in.bytes(out.magic.data(), 3);
  out.version = in.int32();
  out.firstFrame = in.int32();
  out.lastFrame = in.int32();
  out.frameStep = in.int32();
  if (in.failed()) {
    result.status = ReadStatus::kMalformed;
    result.reason = "the file is shorter than its header";
    return result;
  }
  if (out.version != kVersion) {
    result.status = ReadStatus::kWrongVersion;
    result.reason = "version " + std::to_string(out.version) + " (only version 1 is read)";
    return result;
  }
  // The frame step divides scene times and the frame count takes them modulo.
  if (out.frameStep <= 0) in.fail("a frame step of " + std::to_string(out.frameStep));
  else if (out.frameCount() <= 0 || out.frameCount() > INT32_MAX)
    in.fail("a frame range of " + std::to_string(out.frameCount()) + " frames");
  if (!in.failed() && readChunks(in, out, result)) return result;
  if (result.status == ReadStatus::kUnknownTag) return result;
  result.status = ReadStatus::kMalformed;
  result.reason = in.reason();
  return result;
}

std::vector<uint8_t> writeSceneFile(const SceneFile& file) {
  Writer w;
  w.out.insert(w.out.end(), file.magic.begin(), file.magic.end());
  w.int32(file.version);
  w.int32(file.firstFrame);
  w.int32(file.lastFrame);
  w.int32(file.frameStep);
  for (const ChunkRef& chunk : file.chunks) writeChunk(w, file, chunk);
  w.int32(kEnd);
  return w.out;
}

bool saveSceneFile(const SceneFile& file, const std::string& path) {
  const std::vector<uint8_t> bytes = writeSceneFile(file);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace vkg
