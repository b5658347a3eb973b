#include "engine/Material.h"

#include <gtest/gtest.h>

#include <functional>

#include "resources/RenderTarget.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"

namespace {

using namespace enginetest;

constexpr int kSize = 32;

// The textures of the table, one colour each (bytes), and their values as GL reads them.
constexpr Rgb kDiffuseMap{128, 64, 255};
constexpr Rgb kReflectionMap{64, 128, 32};
constexpr Rgb kLightMap{192, 128, 64};
constexpr Rgb kNormalMap{255, 128, 128};
constexpr Rgb kRamp{128, 255, 128};
constexpr Rgb kCubeMap{64, 192, 128};
// The normalisation cube map's answer: a unit vector 30° off +z towards +x, packed.
constexpr Rgb kNormalised{238, 128, 191};
const glm::vec3 kMaterialDiffuse{0.6f, 0.8f, 1.0f};
const glm::vec3 kTargetColour{0.2f, 0.4f, 0.6f};

glm::vec3 value(Rgb c) { return glm::vec3(c[0], c[1], c[2]) / 255.0f; }
glm::vec3 sat(glm::vec3 v) { return glm::clamp(v, 0.0f, 1.0f); }
Rgb bytes(glm::vec3 v) { return bytesOf(v.r, v.g, v.b); }
// GL_DOT3_RGB: 4 × ((a − ½) · (b − ½)) in all three channels.
glm::vec3 dot3(glm::vec3 a, glm::vec3 b) { return glm::vec3(4.0f * glm::dot(a - 0.5f, b - 0.5f)); }

class Materials : public testing::Test {
 protected:
  // One context for the whole program (the death tests' suite included): the engine's
  // shared targets, programs and textures belong to it.
  static void SetUpTestSuite() {
    if (!gl) gl = new GlTestContext(kSize, kSize);
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
    // One white directional light along +z, no ambient: a lit square shows its diffuse.
    const glm::vec4 black(0, 0, 0, 1), white(1, 1, 1, 1), direction(0, 0, 1, 0);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, glm::value_ptr(black));
    glLightfv(GL_LIGHT0, GL_AMBIENT, glm::value_ptr(black));
    glLightfv(GL_LIGHT0, GL_DIFFUSE, glm::value_ptr(white));
    glLightfv(GL_LIGHT0, GL_SPECULAR, glm::value_ptr(black));
    glLightfv(GL_LIGHT0, GL_POSITION, glm::value_ptr(direction));
    glEnable(GL_LIGHT0);
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }

  // The square over the whole view with `material`, ended as a scene pass ends it.
  static Rgb drawCentre(Material& material, const std::string& name) {
    auto square = makeSquare(1, name, material.getId(), 1.0f, true, true);
    square->setMaterial(&material);
    square->draw();
    Material::releaseApplied();
    dumpPng("material_" + name, kSize, kSize);
    return readPixel(kSize / 2, kSize / 2);
  }

  static GlTestContext* gl;
};

GlTestContext* Materials::gl = nullptr;

// The loader's order: slots first, then the choice of model; effects may force one after.
struct ShadeRow {
  const char* name;
  std::function<void(Material&)> fill;
  int forcedModel;  // -1: the chosen one
  glm::vec3 expected;
};

TEST_F(Materials, EveryShadeModelCombinesItsTexturesAsItsUnitsSay) {
  Texture* diffuseMap = solidTexture("m_diffuse", kDiffuseMap);
  Texture* reflectionMap = solidTexture("m_reflection", kReflectionMap);
  Texture* lightMap = solidTexture("m_light", kLightMap);
  Texture* normalMap = solidTexture("m_normal", kNormalMap);
  Texture* ramp = solidTexture("m_ramp", kRamp, 4, 0);
  Texture* cube = solidCubeMap("m_cube", kCubeMap);
  const GLuint normalising = solidCubeMap("m_normalise", kNormalised)->getId();
  RenderTarget target;
  target.init("m_source", 4, 4, 0);
  target.bind();
  glClearColor(kTargetColour.r, kTargetColour.g, kTargetColour.b, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  target.unbind();

  const glm::vec3 D = kMaterialDiffuse;
  const glm::vec3 Td = value(kDiffuseMap), Tr = value(kReflectionMap), Tl = value(kLightMap);
  const glm::vec3 Tn = value(kNormalMap), Tp = value(kRamp), Tc = value(kCubeMap);
  // Unlit DOT3 models see the eye-space normal (0, 0, 1) packed as their primary colour.
  const glm::vec3 normalColour(0.5f, 0.5f, 1.0f);
  const glm::vec3 lightVector = sat(dot3(value(kNormalised), normalColour));
  const auto maps = [](std::initializer_list<std::function<void(Material&)>> steps) {
    return [steps = std::vector<std::function<void(Material&)>>(steps)](Material& m) {
      for (const auto& step : steps) step(m);
    };
  };
  const auto diffuse = [&](Material& m) { m.setDiffuseMap(diffuseMap); };
  const auto reflection = [&](Material& m) { m.setReflectionMap(reflectionMap); };
  const auto light = [&](Material& m) { m.setLightMap(lightMap); };
  const auto normal = [&](Material& m) { m.setNormalMap(normalMap); };
  const auto normalisation = [&](Material& m) { m.setNormalisationCubeMap(normalising); };

  const std::vector<ShadeRow> rows = {
      // Lit models show the light's diffuse: the material's D times the texture.
      {"0_colours", maps({}), -1, D},
      {"1_diffuse", maps({diffuse}), -1, D * Td},
      {"2_reflection", maps({reflection}), -1, D * Tr},
      {"3_reflection", maps({reflection}), 3, D * Tr},
      // Unit 1 adds the reflection to the lit diffuse texture.
      {"4_diffuse_reflection", maps({diffuse, reflection}), -1, sat(D * Td + Tr)},
      // Unlit (white primary colour): the light map modulates the diffuse texture.
      {"5_diffuse_light", maps({diffuse, light}), -1, Td * Tl},
      // moreLight: ADD_SIGNED of the light map (x + l − ½), then modulated by it again.
      {"5_more_light", maps({diffuse, light, [](Material& m) { m.setMoreLight(true); }}), -1,
       sat(sat(Td + Tl - 0.5f) * Tl)},
      {"6_light", maps({light}), -1, Tl},
      // DOT3 of the normalisation cube map and the primary colour (unit 1 reads only those,
      // so unit 0's normal map does not reach the result).
      {"7_dot3", maps({diffuse, normal, normalisation, [](Material& m) { m.setNoLighting(true); }}), 7, lightVector},
      {"8_dot3_reflection", maps({normal, reflection, normalisation}), -1, lightVector * Tr},
      // A scene file supplies no normalisation cube map: unit 1 stays off.
      {"8_without_normalisation", maps({normal, reflection}), -1, Tn * Tr},
      {"9_ramp", maps({[&](Material& m) { m.setRampTexture(ramp); }}), 9, D * Tp},
      {"10_ramp_diffuse", maps({diffuse, [&](Material& m) { m.setRampTexture(ramp); }}), 10, sat(D * Tp + Td - 0.5f)},
      // The cube map alone is unlit (its rule sets no lighting).
      {"11_cube", maps({[&](Material& m) { m.setCubeMap(cube); }}), -1, Tc},
      {"12_cube_reflection", maps({reflection, [&](Material& m) { m.setCubeMap(cube); }}), 12, sat(Tc + Tr)},
      {"13_source_target", maps({[&](Material& m) { m.setSourceTarget(&target); }}), -1, D * kTargetColour},
  };

  int id = 0;
  for (const ShadeRow& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    const GlState before = captureGlState();
    Material material(++id, row.name);
    material.setDiffuse(glm::vec4(kMaterialDiffuse, 1.0f));
    row.fill(material);
    material.chooseShadeModel();
    if (row.forcedModel >= 0) material.setShadeModel(row.forcedModel);
    const Rgb actual = drawCentre(material, row.name);
    const Rgb expected = bytes(row.expected);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], expected[c], 2) << "channel " << c;
    EXPECT_EQ(captureGlState(), before);
  }
}

// [SECTION] Choosing and applying

TEST_F(Materials, ShadeModelRulesGoInOrder) {
  Texture* t = solidTexture("m_any", {255, 255, 255});
  Material plain(1, "plain");
  plain.chooseShadeModel();
  EXPECT_EQ(plain.getShadeModel(), 0);
  EXPECT_TRUE(plain.isLit());

  Material three(2, "three maps");
  three.setDiffuseMap(t);
  three.setReflectionMap(t);
  three.setLightMap(t);
  three.chooseShadeModel();
  EXPECT_EQ(three.getShadeModel(), 4);  // diffuse and reflection before diffuse and light map

  Material cubed(3, "cube");
  cubed.setDiffuseMap(t);
  cubed.setCubeMap(t);
  EXPECT_EQ(cubed.getShadeModel(), 11);
  EXPECT_TRUE(cubed.hasCubeTexGen());
  cubed.setCubeMap(nullptr);  // taking it away chooses again, without the generation
  EXPECT_EQ(cubed.getShadeModel(), 1);
  EXPECT_FALSE(cubed.hasCubeTexGen());
}

TEST_F(Materials, OpacityBelowOneBlendsWithoutDepthWritesAndAdditiveWins) {
  const auto stateOf = [](Material& m) {
    m.apply();
    GLint src = 0, dst = 0;
    GLboolean mask = GL_TRUE;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    const std::array<int, 5> s{glIsEnabled(GL_BLEND), src, dst, mask, glIsEnabled(GL_DEPTH_TEST)};
    m.restore();
    return s;
  };
  glEnable(GL_DEPTH_TEST);
  Material glass(1, "glass");
  glass.setOpacity(0.99f);
  EXPECT_TRUE(glass.isTransparent());
  EXPECT_EQ(stateOf(glass), (std::array<int, 5>{1, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0, 1}));

  Material solid(2, "solid");
  solid.setOpacity(1.0f);
  EXPECT_FALSE(solid.isTransparent());
  EXPECT_EQ(stateOf(solid)[0], 0);

  Material glow(3, "glow");
  glow.setOpacity(0.5f);
  glow.setAdditive(true);
  EXPECT_EQ(stateOf(glow), (std::array<int, 5>{1, GL_ONE, GL_ONE, 0, 0}));
  glDisable(GL_DEPTH_TEST);
}

TEST_F(Materials, TextureMatrixIsTheMaterialsOnlyAndGoesWithIt) {
  Material moved(1, "moved");
  moved.textureTransform = true;
  moved.texTranslation = glm::vec3(0.25f, 0.5f, 0.0f);
  moved.texScale = glm::vec3(2.0f);
  const GlState before = captureGlState();
  moved.apply();
  float m[16];
  glGetFloatv(GL_TEXTURE_MATRIX, m);
  EXPECT_FLOAT_EQ(m[0], 2.0f);
  EXPECT_FLOAT_EQ(m[12], 0.25f);
  EXPECT_FLOAT_EQ(m[13], 0.5f);
  moved.restore();
  glGetFloatv(GL_TEXTURE_MATRIX, m);
  EXPECT_FLOAT_EQ(m[0], 1.0f);
  EXPECT_FLOAT_EQ(m[12], 0.0f);
  EXPECT_EQ(captureGlState(), before);
}

using MaterialsDeathTest = Materials;

TEST_F(MaterialsDeathTest, UnknownShadeModelAndOpacityMapsStopTheDemo) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Material odd(1, "odd");
  odd.setShadeModel(14);
  EXPECT_EXIT(odd.apply(), testing::ExitedWithCode(1),
              "^(src/)?engine/Material.cpp:[0-9]+ Material cannot handle this shademodel: 14\n$");
  EXPECT_EXIT(odd.setOpacityMap(nullptr), testing::ExitedWithCode(1),
              "^(src/)?engine/Material.cpp:[0-9]+ assertion failed\n$");
}

}  // namespace
