#include "engine/SceneLoaderVKG.h"

#include <gtest/gtest.h>

#include <memory>

#include <cmath>
#include <cstring>
#include <fstream>

#include "engine/MeshObject.h"
#include "engine/Scene.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"
#include "sceneFile/VKGFile.h"
#include "support/GlTestContext.h"
#include "support/TestEffects.h"
#include "support/VkgScenes.h"

namespace {

// [SECTION] Files written byte by byte

class FileBytes {
 public:
  FileBytes& i32(int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff));
    return *this;
  }
  FileBytes& f32(float f) {
    int32_t bits;
    std::memcpy(&bits, &f, 4);
    return i32(bits);
  }
  FileBytes& fs(std::initializer_list<float> values) {
    for (float f : values) f32(f);
    return *this;
  }
  FileBytes& str(const std::string& s) {
    i32(static_cast<int32_t>(s.size()));
    out += s;
    return *this;
  }
  FileBytes& header(int32_t first = 0, int32_t last = 16000, int32_t step = 160, int32_t version = 1) {
    out += "VKG";
    return i32(version).i32(first).i32(last).i32(step);
  }
  // An object head at `position` without rotation or keys, scale 1.
  FileBytes& head(const std::string& name, int32_t id, int32_t parent, int32_t material, glm::vec3 p) {
    str(name).i32(id).i32(parent).i32(material).fs({p.x, p.y, p.z}).fs({0, 0, 0, 1}).fs({1, 1, 1}).fs({0, 0, 0});
    return i32(0).i32(0).i32(0);
  }
  std::string out;
};

// One triangle (three vertices and normals, optional channel 1) of material `material`.
FileBytes& triangle(FileBytes& b, const std::string& name, int32_t id, int32_t parent, int32_t material) {
  b.i32(vkg::kMesh).head(name, id, parent, material, {1, 2, 3});
  b.i32(3).fs({0, 0, 0, 1, 0, 0, 0, 1, 0});
  b.i32(3).fs({0, 0, 1, 0, 0, 1, 0, 0, 1});
  b.i32(3).fs({0, 0, 1, 0.25f, 0, 1});  // channel 1
  b.i32(0).i32(0);                      // channels 2 and 3
  b.i32(0);                             // colours
  return b.i32(1).i32(0).i32(1).i32(2);
}

FileBytes everyChunk() {
  FileBytes b;
  b.header();
  b.i32(vkg::kMaterialList).i32(1);
  b.i32(0).i32(7).str("stone").f32(0).fs({0.5f, 0.25f, 1}).fs({0.1f, 0.2f, 0.3f}).fs({1, 1, 1});
  b.f32(1).f32(0.5f).f32(2).i32(0);
  b.i32(vkg::kDummy).i32(1).str("Anchor").i32(99);
  b.i32(vkg::kObject).head("Group", 2, 1, 0, {0, 5, 0});
  triangle(b, "Tri", 3, 2, 7);
  b.i32(vkg::kLight).head("Spot01", 4, -1, 0, {0, 10, 0});
  b.i32(vkg::kTargetSpotLight).fs({1, 0.5f, 0.25f}).f32(2).fs({0, 0}).f32(100).f32(120).f32(200).i32(3).i32(0);
  b.i32(vkg::kCamera).head("Camera01", 5, -1, 0, {0, 0, 50});
  b.f32(1.5707964f).f32(2).f32(900).f32(0).i32(3);
  b.i32(vkg::kEnd);
  return b;
}

// [SECTION] Fixture

class SceneFiles : public testing::Test {
 protected:
  // One context for the program (the death tests' suite too): cached scenes belong to it.
  static void SetUpTestSuite() {
    if (gl) return;
    gl = new GlTestContext(64, 64);
    work = std::make_unique<WorkingDirectory>("scene_loader");
    writeSampleShaders(*work);
  }
  void SetUp() override { ASSERT_TRUE(gl->ok()); }

  // A scene from bytes under a fresh name (the cache keeps every scene it loaded).
  Scene* load(const std::string& bytes) {
    const std::string name = "data/scenes/t" + std::to_string(counter++) + ".vkg";
    work->write(name, bytes);
    return SceneLoaderVKG::load(name, "data/texturesCompressed/", "data/textures/");
  }

  static GlTestContext* gl;
  static std::unique_ptr<WorkingDirectory> work;  // removed at exit
  static int counter;
};

GlTestContext* SceneFiles::gl = nullptr;
std::unique_ptr<WorkingDirectory> SceneFiles::work;
int SceneFiles::counter = 0;

void expectVec(glm::vec3 a, glm::vec3 b) {
  EXPECT_NEAR(a.x, b.x, 1e-5f);
  EXPECT_NEAR(a.y, b.y, 1e-5f);
  EXPECT_NEAR(a.z, b.z, 1e-5f);
}

// [SECTION] Reading each chunk

TEST_F(SceneFiles, EveryChunkKindBuildsItsObject) {
  Scene* scene = load(everyChunk().out);
  ASSERT_NE(scene, nullptr) << SceneLoaderVKG::lastFailure();
  EXPECT_EQ(scene->getFrameCount(), 101);
  EXPECT_EQ(scene->getFrameDuration(), 160);

  Material* stone = scene->material(7);
  ASSERT_NE(stone, nullptr);
  EXPECT_EQ(stone->getName(), "stone");
  EXPECT_EQ(stone->diffuse, glm::vec4(0.5f, 0.25f, 1, 1));
  EXPECT_EQ(stone->ambient, glm::vec4(0.1f, 0.2f, 0.3f, 1));
  EXPECT_FLOAT_EQ(stone->shininess, 64.0f);  // glossiness × 128
  EXPECT_FALSE(stone->isTransparent());

  // The dummy is the root; the object hangs under it and the mesh under the object.
  SceneObject* anchor = scene->getRoot();
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(anchor->name, "Anchor");
  SceneObject* group = scene->findObject("Group");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->getParent(), anchor);
  auto* tri = dynamic_cast<MeshObject*>(scene->findObject("Tri"));
  ASSERT_NE(tri, nullptr);
  EXPECT_EQ(tri->getParent(), group);
  EXPECT_EQ(tri->getMaterial(), stone);
  EXPECT_EQ(tri->getVertexCount(), 3);
  EXPECT_EQ(tri->getFaceCount(), 1);
  expectVec(tri->position, {1, 2, 3});

  Light* spot = scene->findLight("Spot01");
  ASSERT_NE(spot, nullptr);
  EXPECT_EQ(spot->diffuse, glm::vec4(2, 1, 0.5f, 1));  // colour × multiplier
  EXPECT_EQ(spot->ambient, glm::vec4(0.6f, 0.3f, 0.15f, 0.3f));  // 0.3 × c, alpha included
  EXPECT_FLOAT_EQ(spot->linearAttenuation, 0.02f);  // 1 / (100 × 0.5)
  EXPECT_FLOAT_EQ(spot->spotCutoff, 90.0f);         // 120 is beyond what GL takes
  EXPECT_FLOAT_EQ(spot->spotExponent, 128.0f);
  EXPECT_EQ(spot->target, tri);

  ::Camera* camera = scene->findCamera("Camera01");
  ASSERT_NE(camera, nullptr);
  // 90° across a 4:3 picture is 2·atan(0.75) ≈ 73.74° high.
  EXPECT_NEAR(camera->fovY, 73.74f, 0.01f);
  EXPECT_FLOAT_EQ(camera->nearPlane, 2.0f);
  EXPECT_FLOAT_EQ(camera->farPlane, 900.0f);
  EXPECT_EQ(camera->target, tri);
}

TEST_F(SceneFiles, ObjectKeysPlayAtTheFilesFrameStep) {
  vkg::SceneFile file;
  file.lastFrame = 320;  // three frames
  file.addMaterialList().push_back(vkgtest::colourMaterial(1, "m", glm::vec3(1.0f)));
  vkg::MeshRecord& mesh = vkgtest::addSquare(file, 1, "Sq", 1, 1.0f, {0, 0, 0}, 1);
  mesh.texCoords[2] = {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}};  // channel 3 wins over 2
  mesh.texCoords[1] = {{0.1f, 0.1f}, {0.1f, 0.1f}, {0.1f, 0.1f}, {0.1f, 0.1f}};
  mesh.object.positionKeys = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}};
  const std::vector<uint8_t> bytes = vkg::writeSceneFile(file);
  Scene* scene = load(std::string(bytes.begin(), bytes.end()));
  ASSERT_NE(scene, nullptr) << SceneLoaderVKG::lastFailure();
  SceneObject* sq = scene->findObject("Sq");
  EXPECT_EQ(sq->keyCount, 3);
  EXPECT_EQ(sq->frameDuration, 160);
  scene->setTime(240);  // frame 1 and a half
  scene->animate();
  expectVec(sq->position, {15, 0, 0});
}

// A triangle whose three texture channels hold n1, n2 and n3 coordinates; coordinate i of
// channel c is (c, i) so that the second set shows which channel it came from.
std::string triangleWithChannels(int n1, int n2, int n3, int32_t material) {
  FileBytes b;
  b.header();
  b.i32(vkg::kMaterialList).i32(1);
  b.i32(0).i32(material).str("m").f32(0).fs({1, 1, 1}).fs({1, 1, 1}).fs({0, 0, 0});
  b.f32(1).f32(0).f32(0).i32(material == 2 ? 2 : 0);
  if (material == 2) b.str("diffuse.png").i32(vkg::kDiffuseMap).str("light.png").i32(vkg::kLightMap);
  b.i32(vkg::kMesh).head("Tri", 1, -1, material, {0, 0, 0});
  b.i32(3).fs({0, 0, 0, 1, 0, 0, 0, 1, 0});
  b.i32(3).fs({0, 0, 1, 0, 0, 1, 0, 0, 1});
  const int counts[3] = {n1, n2, n3};
  for (int c = 0; c < 3; ++c) {
    b.i32(counts[c]);
    for (int i = 0; i < counts[c]; ++i) b.fs({static_cast<float>(c + 1), static_cast<float>(i)});
  }
  b.i32(0);
  return b.i32(1).i32(0).i32(1).i32(2).i32(vkg::kEnd).out;
}

TEST_F(SceneFiles, AThirdChannelReplacesTheSecondBeforeTheLengthsAreChecked) {
  struct Case {
    int n1, n2, n3;
    bool loads;
  };
  // Three vertices. A channel feeds a coordinate set unless it is empty, or it is channel 2
  // and channel 3 is not empty; a channel that feeds one must hold one coordinate a vertex.
  const std::vector<Case> cases = {
      {3, 2, 3, true},   {3, 7, 3, true},   {3, 3, 0, true},  {0, 0, 3, true},  {0, 0, 0, true},
      {3, 2, 0, false},  {3, 4, 0, false},  {2, 0, 0, false}, {4, 3, 0, false}, {3, 0, 2, false},
      {3, 2, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "channels " << c.n1 << "/" << c.n2 << "/" << c.n3);
    Scene* scene = load(triangleWithChannels(c.n1, c.n2, c.n3, 1));
    EXPECT_EQ(scene != nullptr, c.loads) << SceneLoaderVKG::lastFailure();
  }

  // The second set is channel 3's, v negated, when a light map uses it.
  using testimages::encodePng;
  const auto png = encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, testimages::Bytes(12, 128));
  work->write("data/textures/diffuse.png", std::string(png.begin(), png.end()));
  work->write("data/textures/light.png", std::string(png.begin(), png.end()));
  Scene* scene = load(triangleWithChannels(3, 1, 3, 2));
  ASSERT_NE(scene, nullptr) << SceneLoaderVKG::lastFailure();
  auto* tri = static_cast<MeshObject*>(scene->findObject("Tri"));
  ASSERT_EQ(tri->getMaterial()->getShadeModel(), 5);
  const std::vector<glm::vec2>& second = tri->getGeometry()->texArray2;
  ASSERT_EQ(second.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(second[i], glm::vec2(3.0f, -static_cast<float>(i)));
}

TEST_F(SceneFiles, FrameCountIsTheIntegerQuotientPlusOne) {
  FileBytes shortRange;
  shortRange.header(0, 100, 160).i32(vkg::kEnd);
  Scene* one = load(shortRange.out);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->getFrameCount(), 1);
  EXPECT_EQ(one->getRoot(), nullptr);  // header and end tag: an empty scene
}

TEST_F(SceneFiles, SameFileGivesTheSameSceneFromTheCacheWithTheFilesCamera) {
  work->write("data/scenes/shared.vkg", everyChunk().out);
  Scene* a = SceneLoaderVKG::load("data/scenes/shared.vkg", "data/texturesCompressed/", "data/textures/");
  ASSERT_NE(a, nullptr);
  // What a demo did to the camera does not reach the next load's default.
  a->activeCameraObject()->fovY = 20;
  Scene* b = SceneLoaderVKG::load("data/scenes/shared.vkg", "data/texturesCompressed/", "data/textures/");
  EXPECT_EQ(a, b);
  EXPECT_NEAR(b->activeCameraObject()->fovY, 73.74f, 0.01f);
  EXPECT_EQ(SceneManager::instance().useCount("data/scenes/shared.vkg"), 2);
  EXPECT_EQ(SceneManager::instance().addScene("data/scenes/shared.vkg", nullptr), 1);
}

TEST_F(SceneFiles, TwentyThousandTopLevelObjectsLoadWithoutNestingThatDeep) {
  // Every top-level object is the root's sibling: binding the scene walks them in a loop.
  FileBytes b;
  b.header();
  for (int i = 0; i < 20000; ++i) b.i32(vkg::kDummy).i32(i).str("").i32(0);
  Scene* scene = load(b.i32(vkg::kEnd).out);
  ASSERT_NE(scene, nullptr);
  int count = 0;
  for (SceneObject* o = scene->getRoot(); o; o = o->getNextSibling()) ++count;
  EXPECT_EQ(count, 20000);
  scene->setShadows(true);  // forwarded along the whole chain as well
}

// [SECTION] Textures

TEST_F(SceneFiles, MapNamesDropTheExportersFolderAndPreferTheCompressedPicture) {
  using testimages::encodePng;
  const auto png = encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, testimages::Bytes(12, 200));
  work->write("data/textures/wood.png", std::string(png.begin(), png.end()));
  work->write("data/textures/plank.png", std::string(png.begin(), png.end()));
  std::ifstream dds(DE_SOURCE_DIR "/fuzz/seeds/dds/dxt1.dds", std::ios::binary);
  work->write("data/texturesCompressed/plank.dds", std::string(std::istreambuf_iterator<char>(dds), {}));

  // The folders are those of the last load.
  ASSERT_NE(load(FileBytes().header().i32(vkg::kEnd).out), nullptr);
  Texture* wood = SceneLoaderVKG::loadSceneTexture("C:\\maps\\wood.png");
  ASSERT_NE(wood, nullptr);
  EXPECT_EQ(wood->getSourceFiles().back(), "data/textures/wood.png");
  Texture* plank = SceneLoaderVKG::loadSceneTexture("C:\\maps\\plank.png");
  ASSERT_NE(plank, nullptr);
  EXPECT_EQ(plank->getSourceFiles().front(), "data/texturesCompressed/plank.dds");
  EXPECT_EQ(SceneLoaderVKG::loadSceneTexture(""), nullptr);
  EXPECT_EQ(SceneLoaderVKG::loadSceneTexture("missing.png"), nullptr);
}

TEST_F(SceneFiles, AdditiveMapMakesTheMaterialAdditiveAndTransparent) {
  using testimages::encodePng;
  const auto png = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, testimages::Bytes(12, 90));
  work->write("data/textures/glow.png", std::string(png.begin(), png.end()));
  vkg::SceneFile file;
  vkg::MaterialRecord m = vkgtest::colourMaterial(1, "glow", glm::vec3(1.0f));
  m.maps = {{"D:\\art\\glow.png", vkg::kAdditiveDiffuseMap}, {"D:\\art\\other.png", vkg::kAdditiveDiffuseMap}};
  file.addMaterialList().push_back(m);
  const std::vector<uint8_t> bytes = vkg::writeSceneFile(file);
  Scene* scene = load(std::string(bytes.begin(), bytes.end()));
  ASSERT_NE(scene, nullptr);
  Material* glow = scene->material(1);
  EXPECT_TRUE(glow->isAdditive());
  EXPECT_TRUE(glow->isTransparent());
  ASSERT_NE(glow->getDiffuseMap(), nullptr);
  EXPECT_EQ(glow->getDiffuseMap()->getSourceFiles().back(), "data/textures/glow.png");
}

// [SECTION] Files that are refused

struct Malformed {
  const char* what;
  std::string bytes;
};

std::vector<Malformed> malformedFiles() {
  std::vector<Malformed> cases;
  const std::string whole = everyChunk().out;
  cases.push_back({"shorter than the header", whole.substr(0, 10)});
  cases.push_back({"version 2", FileBytes().header(0, 100, 160, 2).i32(vkg::kEnd).out});
  cases.push_back({"frame step 0", FileBytes().header(0, 100, 0).i32(vkg::kEnd).out});
  cases.push_back({"negative frame count", FileBytes().header(0, -1000, 160).i32(vkg::kEnd).out});
  cases.push_back({"no end tag", whole.substr(0, whole.size() - 4)});
  cases.push_back({"cut inside a record", whole.substr(0, whole.size() / 2)});
  FileBytes longName;
  longName.header().i32(vkg::kDummy).i32(1).str(std::string(2000, 'x')).i32(0).i32(vkg::kEnd);
  cases.push_back({"a 2000-byte string", longName.out});
  FileBytes negative;
  negative.header().i32(vkg::kMaterialList).i32(-1).i32(vkg::kEnd);
  cases.push_back({"a negative count", negative.out});
  FileBytes huge;
  huge.header().i32(vkg::kMesh).head("m", 1, -1, 0, {0, 0, 0}).i32(0x7fffffff).i32(vkg::kEnd);
  cases.push_back({"more vertices than bytes", huge.out});
  FileBytes fewNormals;
  fewNormals.header().i32(vkg::kMesh).head("m", 1, -1, 0, {0, 0, 0});
  fewNormals.i32(3).fs({0, 0, 0, 1, 0, 0, 0, 1, 0}).i32(2).fs({0, 0, 1, 0, 0, 1}).i32(0).i32(0).i32(0).i32(0);
  fewNormals.i32(1).i32(0).i32(1).i32(2).i32(vkg::kEnd);
  cases.push_back({"fewer normals than vertices", fewNormals.out});
  FileBytes badIndex;
  badIndex.header().i32(vkg::kMesh).head("m", 1, -1, 0, {0, 0, 0});
  badIndex.i32(3).fs({0, 0, 0, 1, 0, 0, 0, 1, 0}).i32(3).fs({0, 0, 1, 0, 0, 1, 0, 0, 1}).i32(0).i32(0).i32(0).i32(0);
  badIndex.i32(1).i32(0).i32(1).i32(3).i32(vkg::kEnd);
  cases.push_back({"a face index at the vertex count", badIndex.out});
  FileBytes deep;
  deep.header();
  for (int i = 0; i <= vkg::kMaxDepth + 1; ++i) deep.i32(vkg::kObject).head("n", i, i - 1, 0, {0, 0, 0});
  deep.i32(vkg::kEnd);
  cases.push_back({"a chain of parents deeper than the passes take", deep.out});
  return cases;
}

TEST_F(SceneFiles, MalformedFilesGiveNoScene) {
  for (const Malformed& c : malformedFiles()) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load(c.bytes), nullptr);
    EXPECT_FALSE(SceneLoaderVKG::lastFailure().empty());
  }
  EXPECT_EQ(SceneLoaderVKG::load("data/scenes/none.vkg", "", ""), nullptr);
  EXPECT_EQ(SceneLoaderVKG::lastFailure(), "file not found");
}

TEST_F(SceneFiles, RoundTripThroughWriterAndReaderIsByteIdentical) {
  vkg::SceneFile parsed;
  const std::string hand = everyChunk().out;
  ASSERT_EQ(vkg::readSceneFile(reinterpret_cast<const uint8_t*>(hand.data()), hand.size(), parsed).status,
            vkg::ReadStatus::kOk);
  const std::vector<uint8_t> written = vkg::writeSceneFile(parsed);
  EXPECT_EQ(std::string(written.begin(), written.end()), hand);

  const std::vector<uint8_t> walls = vkg::writeSceneFile(vkgtest::twoWalls());
  ASSERT_EQ(vkg::readSceneFile(walls.data(), walls.size(), parsed).status, vkg::ReadStatus::kOk);
  EXPECT_EQ(vkg::writeSceneFile(parsed), walls);
}

using SceneFilesDeath = SceneFiles;

TEST_F(SceneFilesDeath, UnknownChunkTagAndOpacityMapsStopTheDemo) {
  FileBytes unknown;
  unknown.header().i32(2).i32(vkg::kEnd);
  EXPECT_EXIT(load(unknown.out), testing::ExitedWithCode(1), "assertion failed");
  EXPECT_EXIT(SceneLoaderVKG::loadSceneTexture("C:\\maps\\noextension"), testing::ExitedWithCode(1),
              "assertion failed");
}

}  // namespace
