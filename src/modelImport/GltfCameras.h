#pragma once
// The cameras of a glTF 2.0 file as the file itself states them. The asset importer keeps a
// glTF camera's vertical angle in its horizontal field (multiplied by the aspect ratio when
// the file gives one, as it is when not), so the converter reads the angle from the file's
// own JSON: a .gltf text or the JSON chunk of a binary .glb.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace modelimport {

struct GltfCamera {
  bool orthographic = false;
  double yfov = 0.0;         // perspective: the whole vertical angle, radians
  double aspectRatio = 0.0;  // perspective: 0 when the file leaves it to the viewport
  double xmag = 0.0;         // orthographic: half the width and half the height of the view
  double ymag = 0.0;
  double znear = 0.0;
  double zfar = 0.0;  // 0 when the file asks for an infinite far plane
};

// The "cameras" array in file order (empty when there is none). Nothing for bytes that are
// neither a glTF JSON text nor a .glb container holding one, or a JSON that does not parse;
// a camera entry of the wrong shape reads as a perspective camera with its fields at 0.
std::optional<std::vector<GltfCamera>> readGltfCameras(const uint8_t* data, size_t size);

}  // namespace modelimport
