// vkg info: the records of a scene file as the engine will build them, parents before their
// children and each child under the object its parent id names.

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "Vkg.h"
#include "sceneFile/VKGFile.h"

namespace {

constexpr double kPi = 3.14159265358979;

const char* mapName(int32_t type) {
  switch (type) {
    case vkg::kDiffuseMap: return "diffuse";
    case vkg::kGlossMap: return "gloss";
    case vkg::kOpacityMap: return "opacity (stops the demo)";
    case vkg::kLightMap: return "light";
    case vkg::kNormalMap: return "normal";
    case vkg::kReflectionMap: return "reflection";
    case vkg::kAdditiveDiffuseMap: return "additive diffuse";
    case 0: case 3: case 4: case 5: case 11: return "unsupported";
    default: return "ignored";
  }
}

const char* lightKind(int32_t type) {
  switch (type) {
    case vkg::kOmniLight: return "omni";
    case vkg::kTargetSpotLight: return "spot with target";
    case vkg::kFreeSpotLight: return "free spot";
    case vkg::kDirectionalLight: return "directional with target";
    default: return "unknown type";
  }
}

std::string vec(glm::vec3 v) {
  char text[96];
  std::snprintf(text, sizeof text, "(%g, %g, %g)", v.x, v.y, v.z);
  return text;
}

std::string keys(const vkg::ObjectRecord& o) {
  if (o.positionKeys.empty() && o.rotationKeys.empty() && o.scaleKeys.empty()) return "";
  return ", keys " + std::to_string(o.positionKeys.size()) + " position / " + std::to_string(o.rotationKeys.size()) +
         " rotation / " + std::to_string(o.scaleKeys.size()) + " scale";
}

// One line per record, and where it hangs.
struct Entry {
  int32_t id = 0;
  int32_t parentId = -1;
  std::string line;
  std::vector<size_t> children;
};

class Tree {
 public:
  void add(int32_t id, int32_t parentId, std::string line) {
    const size_t index = entries.size();
    entries.push_back({id, parentId, std::move(line), {}});
    auto parent = parentId == -1 ? ids.end() : ids.find(parentId);
    if (parent != ids.end()) {
      entries[parent->second].children.push_back(index);
    } else {
      if (parentId != -1) entries[index].line += "  [parent " + std::to_string(parentId) + " not found: outside the tree]";
      roots.push_back(index);
    }
    ids.emplace(id, index);  // the first object of an id is the one children find
  }
  std::string nameOf(int32_t id) const {
    auto it = ids.find(id);
    return it == ids.end() ? "none" : names.at(it->second);
  }
  void name(const std::string& n) { names[entries.size() - 1] = n; }
  void print(std::FILE* out) const {
    for (size_t root : roots) print(out, root, 1);
  }

 private:
  void print(std::FILE* out, size_t index, int depth) const {
    std::fprintf(out, "%*s%s\n", depth * 2, "", entries[index].line.c_str());
    for (size_t child : entries[index].children) print(out, child, depth + 1);
  }
  std::vector<Entry> entries;
  std::vector<size_t> roots;
  std::map<int32_t, size_t> ids;
  std::map<size_t, std::string> names;
};

std::string head(const char* kind, const vkg::ObjectRecord& o) {
  return std::string(kind) + " \"" + o.name + "\" id " + std::to_string(o.id) + " at " + vec(o.position);
}

}  // namespace

int printInfo(const std::string& path, std::FILE* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vkg: %s: cannot be opened\n", path.c_str());
    return 1;
  }
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  vkg::SceneFile file;
  const vkg::ReadResult read = vkg::readSceneFile(bytes.data(), bytes.size(), file);
  if (read.status != vkg::ReadStatus::kOk) {
    std::fprintf(stderr, "vkg: %s: could not load scene: %s\n", path.c_str(), read.reason.c_str());
    return 1;
  }

  std::fprintf(out, "%s: version %d, %zu bytes\n", path.c_str(), file.version, bytes.size());
  std::fprintf(out, "frames %d..%d, step %d: %lld frames of %d units\n", file.firstFrame, file.lastFrame, file.frameStep,
               static_cast<long long>(file.frameCount()), file.frameStep);

  size_t materialCount = 0;
  for (const auto& list : file.materialLists) materialCount += list.size();
  std::fprintf(out, "materials (%zu)\n", materialCount);
  for (const auto& list : file.materialLists)
    for (const vkg::MaterialRecord& m : list) {
      std::fprintf(out, "  %d \"%s\": shade model %d, diffuse %s, opacity %g, glossiness %g\n", m.id, m.name.c_str(),
                   vkg::shadeModelOf(m), vec(m.diffuse).c_str(), m.opacity, m.glossiness);
      for (const vkg::MapRecord& map : m.maps)
        std::fprintf(out, "    %s map \"%s\"\n", mapName(map.type), map.fileName.c_str());
    }

  // What each material lays on the meshes that use it.
  std::map<int32_t, std::string> mapsOf;
  for (const auto& list : file.materialLists)
    for (const vkg::MaterialRecord& m : list) {
      std::string maps;
      for (const vkg::MapRecord& map : m.maps) maps += std::string(maps.empty() ? ", maps: " : ", ") + mapName(map.type) + " \"" + map.fileName + "\"";
      mapsOf.emplace(m.id, maps);
    }

  Tree tree;
  size_t counts[5] = {};
  for (const vkg::ChunkRef& chunk : file.chunks) {
    switch (chunk.tag) {
      case vkg::kMesh: {
        const vkg::MeshRecord& m = file.meshes[chunk.index];
        tree.add(m.object.id, m.object.parentId,
                 head("mesh", m.object) + ", material " + std::to_string(m.object.materialId) + ": " +
                     std::to_string(m.positions.size()) + " vertices, " + std::to_string(m.faces.size()) +
                     " faces, texture coordinates " + std::to_string(m.texCoords[0].size()) + "/" +
                     std::to_string(m.texCoords[1].size()) + "/" + std::to_string(m.texCoords[2].size()) +
                     (m.colours.empty() ? "" : ", colours") +
                     (mapsOf.count(m.object.materialId) ? mapsOf[m.object.materialId] : ", no such material") +
                     keys(m.object));
        tree.name(m.object.name);
        ++counts[0];
        break;
      }
      case vkg::kLight: {
        const vkg::LightRecord& l = file.lights[chunk.index];
        std::string line = head("light", l.object) + ", " + lightKind(l.lightType) + ", colour " +
                           vec(l.colour * l.multiplier);
        if (l.lightType == vkg::kTargetSpotLight || l.lightType == vkg::kFreeSpotLight)
          line += ", cut-off " + std::to_string(static_cast<int>(l.cutoff)) + "°";
        if (l.lightType == vkg::kTargetSpotLight || l.lightType == vkg::kDirectionalLight)
          line += ", target " + std::to_string(l.targetId) + " \"" + tree.nameOf(l.targetId) + "\"";
        if (l.range > 0) line += ", range " + std::to_string(l.range);
        if (l.hasProjectorMap) line += ", projector map \"" + l.projectorMap + "\"";
        tree.add(l.object.id, l.object.parentId, line + keys(l.object));
        tree.name(l.object.name);
        ++counts[1];
        break;
      }
      case vkg::kCamera: {
        const vkg::CameraRecord& c = file.cameras[chunk.index];
        const double vertical = 2.0 * std::atan(std::tan(c.fov / 2.0) * 0.7500188) * 180.0 / kPi;
        char optics[160];
        std::snprintf(optics, sizeof optics, ", field of view %.1f° across (%.1f° high), near %g, far %g", c.fov * 180.0 / kPi,
                      vertical, c.nearPlane, c.farPlane);
        // The target may come later in the file: named when printed below.
        tree.add(c.object.id, c.object.parentId,
                 head("camera", c.object) + optics + ", target " + std::to_string(c.targetId) + keys(c.object));
        tree.name(c.object.name);
        ++counts[2];
        break;
      }
      case vkg::kDummy: {
        const vkg::DummyRecord& d = file.dummies[chunk.index];
        tree.add(d.id, -1, "dummy \"" + d.name + "\" id " + std::to_string(d.id));
        tree.name(d.name);
        ++counts[3];
        break;
      }
      case vkg::kObject: {
        const vkg::ObjectRecord& o = file.objects[chunk.index];
        tree.add(o.id, o.parentId, head("object", o) + keys(o));
        tree.name(o.name);
        ++counts[4];
        break;
      }
      default:
        break;
    }
  }
  std::fprintf(out, "objects: %zu meshes, %zu lights, %zu cameras, %zu dummies, %zu plain objects\n", counts[0],
               counts[1], counts[2], counts[3], counts[4]);
  tree.print(out);
  return 0;
}
