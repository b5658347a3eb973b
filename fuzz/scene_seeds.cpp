// Writes small scene files as seeds for the scene fuzzer, through the engine's writer: the
// tests' two walls, a file with every kind of chunk and record (keys, maps, a spot light with
// a projector map, a dummy), and the empty scene.

#include <cstdio>
#include <string>

#include "support/VkgScenes.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  bool ok = vkg::saveSceneFile(vkgtest::twoWalls(), dir + "/walls.vkg");

  vkg::SceneFile every;
  every.lastFrame = 320;
  vkg::MaterialRecord m = vkgtest::colourMaterial(1, "mapped", {0.5f, 0.5f, 0.5f});
  m.maps = {{"C:\\maps\\wood.tga", vkg::kDiffuseMap}, {"glow.png", vkg::kAdditiveDiffuseMap}, {"x.jpg", 3}};
  every.addMaterialList().push_back(m);
  vkg::DummyRecord& dummy = every.addDummy();
  dummy.id = 1;
  dummy.name = "Anchor";
  vkg::ObjectRecord& group = vkgtest::addNode(every, 2, "Group", {0, 1, 0}, 1);
  group.positionKeys = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  group.rotationKeys = {vkgtest::aboutY(0), vkgtest::aboutY(45), vkgtest::aboutY(90)};
  group.scaleKeys = {{1, 1, 1}, {2, 2, 2}, {1, 1, 1}};
  vkg::MeshRecord& mesh = vkgtest::addSquare(every, 3, "Square", 1, 1.0f, {0, 0, 0}, 1, 2);
  mesh.texCoords[1] = mesh.texCoords[0];
  mesh.colours.assign(mesh.positions.size(), {1, 0, 0});
  vkg::LightRecord& spot = every.addLight();
  spot.object.name = "Spot01";
  spot.object.id = 4;
  spot.lightType = vkg::kTargetSpotLight;
  spot.targetId = 3;
  spot.hasProjectorMap = 1;
  spot.projectorMap = "gobo.png";
  vkgtest::addCamera(every, 5, "Camera01", {0, 0, 10}, 3);
  ok = vkg::saveSceneFile(every, dir + "/every.vkg") && ok;
  ok = vkg::saveSceneFile(vkg::SceneFile{}, dir + "/empty.vkg") && ok;
  if (!ok) std::fprintf(stderr, "scene seeds: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
