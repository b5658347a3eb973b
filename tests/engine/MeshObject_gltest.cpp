#include "engine/MeshObject.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/FrameStats.h"
#include "engine/Scene.h"
#include "engine/VertexProgram.h"
#include "resources/ImageWriters.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"

namespace {

using namespace enginetest;

constexpr int kSize = 32;

class Meshes : public testing::Test {
 protected:
  // One context for the whole program: the engine's shared objects belong to it.
  static void SetUpTestSuite() {
    if (!gl) gl = new GlTestContext(kSize, kSize);
    if (!dir) dir = new std::string(testimages::makeTempDir());
    serveEngineShaders();
  }

  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }

  static std::string shader(const std::string& name, const std::string& text) {
    const std::string path = *dir + name;
    testimages::writeFile(path, text);
    return path;
  }

  // A scene holding one square (id 1) with material `material`, and `lights` lights.
  static std::unique_ptr<Scene> squareScene(std::unique_ptr<Material> material, int lights = 0,
                                            bool texCoords = true, bool vertexBuffers = true) {
    auto scene = std::make_unique<Scene>();
    const int id = material->getId();
    scene->addMaterial(std::move(material));
    auto square = makeSquare(1, "square", id, 1.0f, texCoords, texCoords);
    square->hasVertexBuffers = vertexBuffers;
    scene->addObject(std::move(square), -1);
    for (int i = 0; i < lights; ++i) {
      auto light = std::make_unique<Light>(100 + i, "light" + std::to_string(i));
      light->setPosition({float(i + 1), 0, 0});
      scene->addLight(std::move(light), -1);
    }
    scene->finishLoading();
    return scene;
  }

  static MeshObject* square(Scene& scene) { return static_cast<MeshObject*>(scene.findObject("square")); }

  static void drawAlone(MeshObject* mesh) {
    mesh->drawGeometry();
    Material::releaseApplied();
  }

  static GlTestContext* gl;
  static std::string* dir;
};

GlTestContext* Meshes::gl = nullptr;
std::string* Meshes::dir = nullptr;

// [SECTION] Arrays that exist, and only those

TEST_F(Meshes, NormalAndReflectionMapWithoutDiffuseDrawsFromTheArraysItHas) {
  Texture* normal = solidTexture("mesh_normal", {255, 128, 128});
  Texture* reflection = solidTexture("mesh_reflection", {64, 128, 32});
  for (const bool vertexBuffers : {false, true}) {
    SCOPED_TRACE(vertexBuffers ? "vertex buffers" : "client arrays");
    SetUp();
    auto material = std::make_unique<Material>(7, "bump");
    material->setNormalMap(normal);
    material->setReflectionMap(reflection);
    material->chooseShadeModel();
    ASSERT_EQ(material->getShadeModel(), 8);
    auto scene = squareScene(std::move(material), 1, true, vertexBuffers);
    MeshObject* mesh = square(*scene);
    // No diffuse map, so no first coordinate set, although the file had coordinates.
    EXPECT_TRUE(mesh->getGeometry()->texArray1.empty());
    EXPECT_FALSE(mesh->getCubeCoords().empty());
    const GlState before = captureGlState();
    drawAlone(mesh);
    EXPECT_EQ(captureGlState(), before);
    const Rgb expected = bytesOf(1.0 * 64 / 255, 128.0 / 255 * 128 / 255, 128.0 / 255 * 32 / 255);
    const Rgb actual = readPixel(kSize / 2, kSize / 2);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], expected[c], 2);
  }
}

constexpr const char* kDiffuseColourVertex = R"(#version 120
uniform vec4 DiffuseMaterial;
uniform float numLights;
uniform vec4 LightVec3;
void main() {
  gl_Position = ftransform();
  gl_FrontColor = vec4(DiffuseMaterial.rg, numLights / 4.0, 1.0);
  gl_TexCoord[0] = LightVec3;
}
)";

TEST_F(Meshes, ProgrammableDrawWithoutCoordinatesFeedsTheMaterialAndUpToFourLights) {
  const std::string program = shader("vp_diffuse.cg", kDiffuseColourVertex);
  struct Case {
    int lights;
    bool vertexBuffers;
    Rgb expected;
  };
  // Diffuse (0.8, 0.6) times the first light's diffuse (0.8 by default) when there is one.
  const std::vector<Case> cases = {
      {0, false, bytesOf(0.8, 0.6, 0.0)},
      {0, true, bytesOf(0.8, 0.6, 0.0)},
      {6, false, bytesOf(0.64, 0.48, 1.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lights << " lights");
    SetUp();
    auto material = std::make_unique<Material>(3, "plain");
    material->setDiffuse({0.8f, 0.6f, 0.4f, 1.0f});
    material->chooseShadeModel();
    auto scene = squareScene(std::move(material), c.lights, false, c.vertexBuffers);
    MeshObject* mesh = square(*scene);
    mesh->setVertexProgram(program, false, false);
    const GlState before = captureGlState();
    drawAlone(mesh);
    EXPECT_EQ(captureGlState(), before);
    const Rgb actual = readPixel(kSize / 2, kSize / 2);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], c.expected[i], 2);
  }
}

TEST_F(Meshes, AMaterialIsAppliedOnceForConsecutiveMeshesThatShareIt) {
  auto scene = std::make_unique<Scene>();
  scene->addMaterial(std::make_unique<Material>(1, "one"));
  scene->addMaterial(std::make_unique<Material>(2, "two"));
  auto* a = scene->addObject(makeSquare(10, "a", 1, 0.5f), -1);
  auto* b = scene->addObject(makeSquare(11, "b", 1, 0.5f), -1);
  auto* c = scene->addObject(makeSquare(12, "c", 2, 0.5f), -1);
  scene->finishLoading();
  GLint before = 0, now = 0;
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &before);
  a->drawGeometry();
  b->drawGeometry();
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &now);
  EXPECT_EQ(now, before + 1);
  EXPECT_EQ(Material::applied(), scene->material(1));
  c->drawGeometry();  // another material: the first is popped before it is applied
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &now);
  EXPECT_EQ(now, before + 1);
  EXPECT_EQ(Material::applied(), scene->material(2));
  Material::releaseApplied();
  glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &now);
  EXPECT_EQ(now, before);
}

// Three squares A, B, C left to right sharing one material; B alone carries programs. The
// material is applied once, for A: what B's draw binds for its programs must not take away
// what C draws with.
TEST_F(Meshes, AMeshAfterOneWithProgramsStillDrawsWithTheSharedMaterial) {
  const std::string vertex = shader("vp_textured.cg", R"(#version 120
invariant gl_Position;
void main() { gl_Position = ftransform(); gl_TexCoord[0] = gl_MultiTexCoord0; gl_FrontColor = vec4(1.0); }
)");
  const std::string fragment = shader("fp_textured.cg", R"(#version 120
uniform sampler2D diffuseMap;
void main() { gl_FragColor = texture2D(diffuseMap, gl_TexCoord[0].st); }
)");
  const std::string gloss = shader("fp_gloss.cg", R"(#version 120
uniform sampler2D glossMap;
void main() { gl_FragColor = texture2D(glossMap, vec2(0.5)); }
)");
  Texture* red = solidTexture("mesh_shared_red", {200, 40, 40});
  Texture* white = solidTexture("mesh_shared_white", {255, 255, 255});
  Texture* grey = solidTexture("mesh_shared_grey", {128, 128, 128});
  const auto textured = [&] {
    auto material = std::make_unique<Material>(1, "textured");
    material->setDiffuseMap(red);
    material->setNoLighting(true);
    material->chooseShadeModel();
    return material;
  };
  // Model 5 with moreLight: white × (1 + 0.5 − 0.5) on unit 1, × 0.5 on unit 2.
  const auto lightMapped = [&] {
    auto material = std::make_unique<Material>(1, "baked");
    material->setDiffuseMap(white);
    material->setLightMap(grey);
    material->setGlossMap(white);
    material->setMoreLight(true);
    material->setNoLighting(true);
    material->chooseShadeModel();
    return material;
  };
  struct Case {
    const char* what;
    std::function<std::unique_ptr<Material>()> material;
    std::string vertexProgram, fragmentProgram;
    Rgb expected;  // C's colour
  };
  const std::vector<Case> cases = {
      {"vertex program", textured, vertex, "", {200, 40, 40}},
      {"vertex and fragment program", textured, vertex, fragment, {200, 40, 40}},
      {"fragment program with the gloss map on unit 2", lightMapped, "", gloss, {128, 128, 128}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    auto scene = std::make_unique<Scene>();
    scene->addMaterial(c.material());
    const float third = 2.0f / 3.0f;
    MeshObject* meshes[3];
    for (int i = 0; i < 3; ++i) {
      const float x0 = -1.0f + third * static_cast<float>(i), x1 = x0 + third;
      meshes[i] = scene->addObject(makeQuad(10 + i, std::string(1, char('A' + i)), 1,
                                            {glm::vec3(x0, -1, 0), glm::vec3(x1, -1, 0), glm::vec3(x1, 1, 0), glm::vec3(x0, 1, 0)},
                                            true, true),
                                   -1);
    }
    scene->finishLoading();
    if (!c.vertexProgram.empty()) meshes[1]->setVertexProgram(c.vertexProgram, false, false);
    if (!c.fragmentProgram.empty()) meshes[1]->setFragmentProgram(c.fragmentProgram, false, false);
    const GlState before = captureGlState();
    for (MeshObject* mesh : meshes) mesh->drawGeometry();
    Material::releaseApplied();
    EXPECT_EQ(captureGlState(), before);
    const Rgb a = readPixel(kSize / 6, kSize / 2);
    const Rgb cPixel = readPixel(kSize * 5 / 6, kSize / 2);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(a[k], c.expected[k], 1);
      EXPECT_NEAR(cPixel[k], c.expected[k], 1);
    }
  }
}

TEST_F(Meshes, DrawsCountTheirFaces) {
  auto scene = squareScene(std::make_unique<Material>(1, "counted"));
  RenderStats::reset();
  square(*scene)->drawGeometry();
  square(*scene)->castShadows = true;
  square(*scene)->drawShadowGeometry();
  Material::releaseApplied();
  EXPECT_EQ(RenderStats::count, 2u);
  EXPECT_EQ(RenderStats::sum, 4u);
}

// [SECTION] Per-frame coordinates and factors

TEST_F(Meshes, ReflectionCoordinatesFollowTheEyeSpaceNormal) {
  auto material = std::make_unique<Material>(1, "chrome");
  material->setReflectionMap(solidTexture("mesh_chrome", {255, 255, 255}));
  material->chooseShadeModel();
  auto scene = squareScene(std::move(material));
  MeshObject* mesh = square(*scene);
  drawAlone(mesh);
  EXPECT_EQ(mesh->getReflectionCoords()[0], glm::vec2(0.5f, 0.5f));
  glRotatef(90, 0, 1, 0);  // the normal +z turns to +x in eye space
  drawAlone(mesh);
  EXPECT_NEAR(mesh->getReflectionCoords()[0].x, 1.0f, 1e-6f);
  EXPECT_NEAR(mesh->getReflectionCoords()[0].y, 0.5f, 1e-6f);
}

TEST_F(Meshes, LightMapAloneIsSampledAtTheSecondCoordinateSet) {
  // Left half red, right half green; the quad maps u 0..1 across the view.
  Texture* split = TextureManager::instance().createTexture("mesh_split", 2, 1, GL_TEXTURE_2D, GL_RGBA, 0);
  const uint8_t pixels[] = {255, 0, 0, 255, 0, 255, 0, 255};
  uploadPixels(split, pixels);
  split->setFilter(GL_NEAREST, GL_NEAREST);
  auto material = std::make_unique<Material>(1, "baked");
  material->setLightMap(split);
  material->chooseShadeModel();
  ASSERT_EQ(material->getShadeModel(), 6);
  auto scene = squareScene(std::move(material));
  drawAlone(square(*scene));
  EXPECT_EQ(readPixel(4, kSize / 2), (Rgb{255, 0, 0}));
  EXPECT_EQ(readPixel(kSize - 4, kSize / 2), (Rgb{0, 255, 0}));
}

TEST_F(Meshes, ASourceTargetGivenLaterIsLaidOnWithTheFirstCoordinates) {
  // A 2 × 1 picture: red on the left, green on the right.
  RenderTarget target;
  target.init("mesh_late_source", 2, 1, 0);
  target.getColorTexture()->setFilter(GL_NEAREST, GL_NEAREST);
  target.bind();
  glEnable(GL_SCISSOR_TEST);
  for (int x = 0; x < 2; ++x) {
    glScissor(x, 0, 1, 1);
    glClearColor(x == 0 ? 1.0f : 0.0f, x == 0 ? 0.0f : 1.0f, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
  target.unbind();
  glViewport(0, 0, kSize, kSize);

  auto material = std::make_unique<Material>(1, "screen");
  material->setNoLighting(true);
  material->chooseShadeModel();
  auto scene = squareScene(std::move(material));
  MeshObject* mesh = square(*scene);
  EXPECT_TRUE(mesh->getGeometry()->texArray1.empty());  // no map: no coordinate array yet
  scene->material(1)->setSourceTarget(&target);
  drawAlone(mesh);
  EXPECT_EQ(readPixel(4, kSize / 2), (Rgb{255, 0, 0}));
  EXPECT_EQ(readPixel(kSize - 4, kSize / 2), (Rgb{0, 255, 0}));
}

// A stand-in for the timeline's variables that shows where a factor came from: the last
// key's value plus the demo time in seconds.
class RampValue : public KeyedValue {
 public:
  void setKey(float value, uint32_t) override { last = value; }
  float evaluate(uint32_t time) override { return last + static_cast<float>(time) / 1000.0f; }
  std::unique_ptr<KeyedValue> clone() const override { return std::make_unique<RampValue>(*this); }

 private:
  float last = 0;
};

class RampSource : public KeyedValueSource {
 public:
  std::unique_ptr<KeyedValue> make(float) override { return std::make_unique<RampValue>(); }
};

TEST_F(Meshes, ProgramFactorsAreTheScenesKeyedValuesAtItsDemoTimeTimesTheMusicLevelAndScale) {
  const std::string program = shader("fp_factors.cg", "#version 120\nuniform vec4 factors;\nvoid main() { gl_FragColor = factors; }\n");
  const std::string vertex = shader("vp_factors.cg", "#version 120\nvoid main() { gl_Position = ftransform(); }\n");
  RampSource source;
  auto scene = squareScene(std::make_unique<Material>(1, "keyed"));
  scene->setKeyedValueSource(&source);
  MeshObject* mesh = square(*scene);
  mesh->setFragmentProgram(program, false, false);
  mesh->setFragmentFactorKey(0, 1, 1, 1, 1);
  mesh->setFragmentFactorKey(1000, 3, 2, 1, 0);
  spectrumLevel = 0.5f;
  scene->setDemoTime(500);
  mesh->animate(0, 0);
  EXPECT_FLOAT_EQ(mesh->getFragmentFactors()[0], 3.5f * 0.5f * 0.4f);
  EXPECT_FLOAT_EQ(mesh->getFragmentFactors()[3], 0.5f * 0.5f * 0.4f);
  // A clone takes the keys along, as copies.
  std::unique_ptr<SceneObject> copy = mesh->clone();
  auto* cloned = static_cast<MeshObject*>(copy.get());
  mesh->setFragmentFactorKey(2000, 9, 9, 9, 9);
  cloned->animate(0, 0);
  EXPECT_FLOAT_EQ(cloned->getFragmentFactors()[1], 2.5f * 0.5f * 0.4f);
  // Unkeyed factors are 1 (× the level × 0.4).
  mesh->setVertexProgram(vertex, false, false);
  mesh->animate(0, 0);
  EXPECT_FLOAT_EQ(mesh->getVertexFactors()[2], 0.5f * 0.4f);
  mesh->setVertexProgram("", false, false);

  spectrumLevel = 1.0f;
  mesh->setFragmentFactorKey(1000, 3, 2, 1, 0);
  mesh->animate(0, 0);
  drawAlone(mesh);
  EXPECT_EQ(readPixel(kSize / 2, kSize / 2), bytesOf(1.4, 1.0, 0.6));
  // An empty name takes the program away.
  mesh->setFragmentProgram("", false, false);
  EXPECT_EQ(mesh->getFragmentProgram(), nullptr);
}

// [SECTION] Broken input

using MeshesDeathTest = Meshes;

TEST_F(MeshesDeathTest, BrokenGeometryAndMissingMaterialsStopTheDemo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Material material(1, "any");
  MeshObject mismatched(1, "mismatched");
  mismatched.setGeometry({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, 1}}, {}, {}, {}, {{0, 1, 2}});
  mismatched.setMaterial(&material);
  EXPECT_EXIT(mismatched.buildArrays(), testing::ExitedWithCode(1),
              "^(src/)?engine/MeshObject.cpp:[0-9]+ Geometry input is broken\n$");

  MeshObject beyond(2, "beyond");
  beyond.setGeometry({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {}, {}, {}, {{0, 1, 3}});
  beyond.setMaterial(&material);
  EXPECT_EXIT(beyond.buildArrays(), testing::ExitedWithCode(1), "^(src/)?engine/MeshObject.cpp:[0-9]+ assertion failed\n$");

  EXPECT_EXIT(
      {
        Scene scene;
        scene.addObject(makeSquare(1, "orphan", 42, 1.0f), -1);
        scene.finishLoading();
      },
      testing::ExitedWithCode(1), "^(src/)?engine/MeshObject.cpp:[0-9]+ No Material for mesh: orphan\n$");

  // Keyed factors need the timeline's variables, which the scene's owner hands in.
  auto scene = squareScene(std::make_unique<Material>(1, "unkeyed"));
  EXPECT_EXIT(square(*scene)->setFragmentFactorKey(0, 1, 1, 1, 1), testing::ExitedWithCode(1),
              "^(src/)?engine/MeshObject.cpp:[0-9]+ assertion failed\n$");
}

}  // namespace
