#include "engine/SceneRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/Display.h"
#include "base/FrameStats.h"
#include "engine/LitPassShadow.h"
#include "engine/Scene.h"
#include "resources/ImageWriters.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"

namespace {

using namespace enginetest;

constexpr int kSize = 128;

class Shadows : public EngineTest<kSize> {};

constexpr Rgb kBoxColour{200, 60, 60};

// A white floor (y = 0, 20 × 20) under a red box (x, z in −1..1, y in 1..3), both drawn
// unlit so that they show their plain colours; a camera at (0, 15, 15) looking at the
// floor's centre; one light at (−6, 10, 0), aimed at the floor (spot) or not (omni).
// The box's shadow falls towards +x: (2.5, 0, 0) lies in it, (−1.5, 0, 2.5) does not.
struct ShadowScene {
  std::unique_ptr<Scene> scene;
  Camera* camera = nullptr;
};

ShadowScene shadowScene(bool spot) {
  ShadowScene s;
  s.scene = std::make_unique<Scene>();
  auto white = std::make_unique<Material>(1, "white");
  white->setNoLighting(true);
  white->chooseShadeModel();
  s.scene->addMaterial(std::move(white));
  auto red = std::make_unique<Material>(2, "red");
  red->setDiffuseMap(solidTexture("shadow_red", kBoxColour));
  red->setNoLighting(true);
  red->chooseShadeModel();
  s.scene->addMaterial(std::move(red));
  auto floor = makeGrid(1, "floor", 1, 10.0f, 8);
  floor->setRotationDegrees(-90, 0, 0);  // +z up to +y
  s.scene->addObject(std::move(floor), -1);
  s.scene->addObject(makeBox(2, "box", 2, {-1, 1, -1}, {1, 3, 1}), -1);
  auto camera = std::make_unique<Camera>(3, "Camera01");
  camera->setPosition({0, 15, 15});
  camera->targetId = 1;
  camera->aspect = 1.0f;
  camera->farPlane = 100.0f;
  s.camera = s.scene->addCamera(std::move(camera), -1);
  auto light = std::make_unique<Light>(4, spot ? "Spot01" : "Omni01");
  light->setPosition({-6, 10, 0});
  if (spot) light->targetId = 1;
  s.scene->addLight(std::move(light), -1);
  s.scene->finishLoading();
  s.scene->setShadows(true);
  s.scene->setShadowLight(spot ? "Spot01" : "Omni01");
  return s;
}

// Where a world point lands in the window, as the camera projects it.
glm::ivec2 windowOf(const Camera& camera, glm::vec3 world) {
  const glm::mat4 view = lookAtMatrix(camera.getPosition(), camera.target->getPosition(), camera.up());
  const glm::vec4 clip = camera.projectionMatrix() * view * glm::vec4(world, 1.0f);
  const glm::vec2 ndc = glm::vec2(clip) / clip.w;
  return glm::ivec2((ndc + 1.0f) * 0.5f * static_cast<float>(kSize));
}

void renderFrame(Scene& scene) {
  scene.setTime(0);
  scene.animate();
  scene.updateTransforms();
  scene.render();
}

TEST_F(Shadows, ShadowedFloorKeepsHalfItsColourUnderSpotAndOmniLights) {
  for (const bool spot : {true, false}) {
    SCOPED_TRACE(spot ? "spot" : "omni");
    SetUp();
    ShadowScene s = shadowScene(spot);
    EXPECT_EQ(s.scene->getShadowType(), spot ? Scene::kSpotShadow : Scene::kOmniShadow);
    const GlState before = captureGlState();
    renderFrame(*s.scene);
    EXPECT_EQ(captureGlState(), before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    dumpPng(spot ? "shadow_spot" : "shadow_omni", kSize, kSize);

    const glm::ivec2 shadowed = windowOf(*s.camera, {2.5f, 0, 0});
    const glm::ivec2 lit = windowOf(*s.camera, {-1.5f, 0, 2.5f});
    const glm::ivec2 boxTop = windowOf(*s.camera, {0, 3, 0});
    const Rgb inShadow = readPixel(shadowed.x, shadowed.y);
    const Rgb inLight = readPixel(lit.x, lit.y);
    EXPECT_EQ(inLight, (Rgb{255, 255, 255}));
    const int half = byteOf(SceneRenderer::kShadowKeeps);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(inShadow[c], half, 2);
    // The box's top faces the light: it does not shadow itself.
    EXPECT_EQ(readPixel(boxTop.x, boxTop.y), kBoxColour);
  }
}

// The apply pass draws with fixed-function transforms at GL_EQUAL depth: a floor drawn by a
// vertex program in the main pass must land on the very same depths, which ftransform()
// (or an invariant position computed the same way) gives.
TEST_F(Shadows, AFloorDrawnByAnFtransformProgramStillReceivesTheSpotShadow) {
  const std::string dir = testimages::makeTempDir();
  testimages::writeFile(dir + "vp_plain.cg",
                        "#version 120\ninvariant gl_Position;\n"
                        "void main() { gl_Position = ftransform(); gl_FrontColor = vec4(1.0); }\n");
  ShadowScene s = shadowScene(true);
  s.scene->findObject("floor")->setVertexProgram(dir + "vp_plain.cg", false, false);
  renderFrame(*s.scene);
  const glm::ivec2 shadowed = windowOf(*s.camera, {2.5f, 0, 0});
  const glm::ivec2 lit = windowOf(*s.camera, {-1.5f, 0, 2.5f});
  EXPECT_NEAR(readPixel(shadowed.x, shadowed.y)[0], byteOf(SceneRenderer::kShadowKeeps), 2);
  EXPECT_EQ(readPixel(lit.x, lit.y), (Rgb{255, 255, 255}));
}

TEST_F(Shadows, SpotShadowMapIsMadeWhileTransformingAndFollowsTheCameraFrustum) {
  ShadowScene s = shadowScene(true);
  s.scene->updateTransforms();
  const glm::mat4 first = s.scene->getShadowTexMatrix();
  // The light's view of the target's centre lands in the middle of the map, at mid depth or so.
  const glm::vec4 centre = first * glm::vec4(0, 0, 0, 1);
  EXPECT_NEAR(centre.x / centre.w, 0.5f, 1e-5f);
  EXPECT_NEAR(centre.y / centre.w, 0.5f, 1e-5f);
  // A wider camera widens the shadow map's coverage: the same point moves towards the
  // middle (it lies in the light's vertical plane, so along the map's y).
  const glm::vec4 edge = first * glm::vec4(2.5f, 0, 0, 1);
  s.camera->fovY = 90;
  s.scene->updateTransforms();
  const glm::vec4 wider = s.scene->getShadowTexMatrix() * glm::vec4(2.5f, 0, 0, 1);
  EXPECT_LT(std::abs(wider.y / wider.w - 0.5f), std::abs(edge.y / edge.w - 0.5f));
}

TEST_F(Shadows, NoShadowsWithFewerThanThreeTextureUnits) {
  ShadowScene s = shadowScene(true);
  s.scene->setShadows(false);
  const int units = glCaps.maxTextureUnits;
  glCaps.maxTextureUnits = 2;
  s.scene->setShadows(true);
  EXPECT_FALSE(s.scene->hasShadows());
  glCaps.maxTextureUnits = units;
  renderFrame(*s.scene);
  const glm::ivec2 shadowed = windowOf(*s.camera, {2.5f, 0, 0});
  EXPECT_EQ(readPixel(shadowed.x, shadowed.y), (Rgb{255, 255, 255}));
}

// A mesh that counts how often the depth passes draw it.
class CountedMesh : public MeshObject {
 public:
  using MeshObject::MeshObject;
  void drawDepthGeometry() override {
    ++depthDraws;
    MeshObject::drawDepthGeometry();
  }
  int depthDraws = 0;
};

// Meshes wholly outside what the spot light sees put nothing into its map and are not sent;
// one reaching into it with a corner is, and still casts its shadow.
TEST_F(Shadows, TheShadowMapLeavesOutMeshesTheLightCannotSee) {
  ShadowScene s = shadowScene(true);
  struct Case {
    const char* what;
    glm::vec3 lo, hi;
    int draws;
  };
  const std::vector<Case> cases = {
      {"under the light", {-1, 1, -1}, {1, 3, 1}, 1},
      {"far to the side, reaching in", {-60, 1, -1}, {1, 3, 1}, 1},
      {"far to the side", {-60, 1, -1}, {-50, 3, 1}, 0},
      {"behind the light", {-20, 30, -1}, {-18, 32, 1}, 0},
  };
  std::vector<CountedMesh*> meshes;
  for (size_t i = 0; i < cases.size(); ++i)
    meshes.push_back(s.scene->addObject(makeBox<CountedMesh>(10 + static_cast<int>(i), cases[i].what, 2, cases[i].lo,
                                                             cases[i].hi),
                                        -1));
  s.scene->finishLoading();
  s.scene->setShadows(true);
  s.scene->updateTransforms();
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(meshes[i]->depthDraws, cases[i].draws) << cases[i].what;
}

// [SECTION] The spot shadow in the lit pass

// A 2 × 2 checker of two colours: a texture sampled at the wrong coordinates shows.
Texture* checker(const std::string& name, Rgb a, Rgb b) {
  Texture* texture = TextureManager::instance().createTexture(name, 2, 2, GL_TEXTURE_2D, GL_RGBA, 0);
  const uint8_t pixels[16] = {uint8_t(a[0]), uint8_t(a[1]), uint8_t(a[2]), 255, uint8_t(b[0]), uint8_t(b[1]),
                              uint8_t(b[2]), 255, uint8_t(b[0]), uint8_t(b[1]), uint8_t(b[2]), 255,
                              uint8_t(a[0]), uint8_t(a[1]), uint8_t(a[2]), 255};
  uploadPixels(texture, pixels);
  texture->setFilter(GL_NEAREST, GL_NEAREST);
  return texture;
}

// The floor's material for a shade model, with every texture that model binds; lit, with
// a specular highlight.
std::unique_ptr<Material> shadeModelMaterial(int model, bool moreLight, RenderTarget& source) {
  auto m = std::make_unique<Material>(1, "floor" + std::to_string(model));
  m->setDiffuse({0.9f, 0.8f, 0.7f, 1.0f});
  m->setAmbient({0.3f, 0.3f, 0.3f, 1.0f});
  m->setSpecular({1.0f, 1.0f, 1.0f, 1.0f});
  m->setShininess(0.2f, 0.8f);
  m->setMoreLight(moreLight);
  Texture* diffuse = checker("lp_diffuse", {230, 200, 120}, {90, 140, 220});
  Texture* reflection = checker("lp_reflection", {40, 90, 60}, {120, 30, 90});
  Texture* light = checker("lp_light", {200, 200, 200}, {100, 130, 160});
  switch (model) {
    case 1: m->setDiffuseMap(diffuse); break;
    case 2: case 3: m->setReflectionMap(reflection); break;
    case 4: m->setDiffuseMap(diffuse); m->setReflectionMap(reflection); break;
    case 5: m->setDiffuseMap(diffuse); m->setLightMap(light); break;
    case 6: m->setLightMap(light); break;
    case 7: case 8:
      m->setNormalMap(checker("lp_normal", {255, 128, 128}, {128, 200, 200}));
      if (model == 7) m->setDiffuseMap(diffuse); else m->setReflectionMap(reflection);
      m->setNormalisationCubeMap(solidCubeMap("lp_normalise", {160, 140, 220})->getId());
      // DOT3 with the eye-space normals as the primary colour, which lighting would replace.
      m->setNoLighting(true);
      break;
    case 9: case 10:
      m->setRampTexture(solidTexture("lp_ramp", {180, 220, 140}, 4, 0));
      if (model == 10) m->setDiffuseMap(diffuse);
      break;
    case 11: case 12:
      m->setCubeMap(solidCubeMap("lp_cube", {90, 200, 170}));
      if (model == 12) m->setReflectionMap(reflection);
      break;
    default: break;
  }
  m->chooseShadeModel();
  if (model == 13) m->setSourceTarget(&source);
  else m->setShadeModel(model);
  return m;
}

// The floor of the shadow scene as one quad with both coordinate sets, under a box; a spot
// light casts the box's shadow across it and an omni light lights it.
std::unique_ptr<Scene> litShadowScene(std::unique_ptr<Material> floorMaterial, bool fog) {
  auto scene = std::make_unique<Scene>();
  scene->addMaterial(std::move(floorMaterial));
  auto box = std::make_unique<Material>(2, "box");
  box->setDiffuse({0.8f, 0.3f, 0.3f, 1.0f});
  box->chooseShadeModel();
  scene->addMaterial(std::move(box));
  scene->addObject(makeQuad(1, "floor", 1, {glm::vec3(-10, 0, 10), glm::vec3(10, 0, 10), glm::vec3(10, 0, -10),
                                            glm::vec3(-10, 0, -10)},
                            true, true),
                   -1);
  scene->addObject(makeBox(2, "box", 2, {-1, 1, -1}, {1, 3, 1}), -1);
  auto camera = std::make_unique<Camera>(3, "Camera01");
  camera->setPosition({0, 15, 15});
  camera->targetId = 1;
  camera->aspect = 1.0f;
  camera->farPlane = 100.0f;
  scene->addCamera(std::move(camera), -1);
  auto spot = std::make_unique<Light>(4, "Spot01");
  spot->setPosition({-6, 10, 0});
  spot->targetId = 1;
  scene->addLight(std::move(spot), -1);
  auto omni = std::make_unique<Light>(5, "Omni01");
  omni->setPosition({4, 12, 10});
  scene->addLight(std::move(omni), -1);
  scene->finishLoading();
  scene->setShadows(true);
  scene->setShadowLight("Spot01");
  if (fog) {
    scene->setFog(true);
    scene->setFogMode(GL_LINEAR);
    scene->setFogRange(10.0f, 40.0f);
    scene->setFogColour({0.2f, 0.4f, 0.9f, 1.0f});
  }
  return scene;
}

std::vector<uint8_t> drawnFrame(Scene& scene, const std::string& name) {
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  RenderStats::reset();
  renderFrame(scene);
  dumpPng(name, kSize, kSize);
  std::vector<uint8_t> rgb(kSize * kSize * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

int largestDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int count = 0;
  for (size_t i = 0; i < a.size(); i += 3)
    count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
  return count;
}

// Every shade model, with and without fog, with the texture units of this driver and with
// only the three the engine asks for (then the models that take three units leave their
// receivers to the apply pass): the one-pass picture is the two-pass one within a level,
// and the box's shadow is in it.
TEST_F(Shadows, TheShadowTakenInTheLitPassMatchesTheApplyPassOnEveryShadeModel) {
  ASSERT_TRUE(LitPassShadow::available());
  RenderTarget source;
  source.init("lp_source", 2, 1, 0);
  source.bind();
  glClearColor(0.3f, 0.7f, 0.5f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  source.unbind();
  int units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
  struct Variant {
    bool moreLight, fog;
    int units;
  };
  const std::vector<Variant> variants = {{false, false, units}, {true, true, units}, {false, true, 3}};
  for (const Variant& v : variants) {
    for (int model = 0; model < Material::kShadeModelCount; ++model) {
      SCOPED_TRACE(testing::Message() << "shade model " << model << (v.moreLight ? ", more light" : "")
                                      << (v.fog ? ", fog" : "") << ", " << v.units << " units");
      SetUp();
      glCaps.maxTextureUnits = v.units;
      auto scene = litShadowScene(shadeModelMaterial(model, v.moreLight, source), v.fog);
      const int usedUnits = scene->material(1)->textureUnitsUsed();
      const std::string name = "lit_pass_" + std::to_string(&v - variants.data()) + "_" + std::to_string(model);
      const std::vector<uint8_t> onePass = drawnFrame(*scene, name + "_one");
      const uint32_t onePassDraws = RenderStats::count;
      scene->setLitPassShadow(false);
      const std::vector<uint8_t> twoPasses = drawnFrame(*scene, name + "_two");
      const uint32_t twoPassDraws = RenderStats::count;
      scene->setShadows(false);
      const std::vector<uint8_t> unshadowed = drawnFrame(*scene, name + "_none");
      glCaps.maxTextureUnits = units;

      EXPECT_LE(largestDifference(onePass, twoPasses), 1);
      EXPECT_GT(differingPixels(twoPasses, unshadowed), 200) << "the shadow is in the picture";
      // Floor and box in the lit pass; the apply pass draws both again, or in one pass the
      // floor alone when its material leaves no unit free.
      EXPECT_EQ(twoPassDraws, 4u);
      EXPECT_EQ(onePassDraws, usedUnits < v.units ? 2u : 3u);
    }
  }
}

// Blended surfaces are darkened together with what they cover when the shadow is applied
// afterwards: with one in the scene the whole frame takes the apply pass. A receiver drawn by
// its programs takes it too, alone.
TEST_F(Shadows, TransparentSurfacesAndProgramsKeepTheApplyPass) {
  RenderTarget unused;
  const std::string dir = testimages::makeTempDir();
  testimages::writeFile(dir + "vp_lit_pass.cg",
                        "#version 120\ninvariant gl_Position;\n"
                        "void main() { gl_Position = ftransform(); gl_FrontColor = vec4(0.5, 0.8, 0.2, 1.0); }\n");
  struct Case {
    const char* what;
    float boxOpacity;
    bool floorProgram;
    uint32_t draws;  // counted draws of the lit pass and the apply pass
  };
  // A draw by programs is not counted: the floor's then shows in the apply pass alone.
  const std::vector<Case> cases = {
      {"opaque", 1.0f, false, 2}, {"a transparent box", 0.5f, false, 4}, {"a floor drawn by programs", 1.0f, true, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    auto scene = litShadowScene(shadeModelMaterial(1, false, unused), false);
    scene->material(2)->setOpacity(c.boxOpacity);
    if (c.floorProgram) scene->findObject("floor")->setVertexProgram(dir + "vp_lit_pass.cg", false, false);
    const std::vector<uint8_t> onePass = drawnFrame(*scene, "lit_pass_keep_one");
    EXPECT_EQ(RenderStats::count, c.draws);
    scene->setLitPassShadow(false);
    EXPECT_LE(largestDifference(onePass, drawnFrame(*scene, "lit_pass_keep_two")), 1);
    scene->setShadows(false);
    EXPECT_GT(differingPixels(onePass, drawnFrame(*scene, "lit_pass_keep_none")), 200);
  }
}

// An object that draws its own way and notes whether it met the shadow's stage: blending
// on, or eye-linear coordinates generated on some unit.
class StateProbe : public SceneObject {
 public:
  using SceneObject::SceneObject;
  void drawGeometry() override {
    ++draws;
    metStage = metStage || glIsEnabled(GL_BLEND);
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    for (int u = 0; u < units; ++u) {
      glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
      metStage = metStage || glIsEnabled(GL_TEXTURE_GEN_Q);
    }
    glActiveTexture(static_cast<GLenum>(active));
  }
  int draws = 0;
  bool metStage = false;
};

TEST_F(Shadows, ObjectsThatDrawTheirOwnWayMeetNoneOfTheShadowsStage) {
  RenderTarget unused;
  for (const bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "tree drawn directly" : "render");
    SetUp();
    auto scene = litShadowScene(shadeModelMaterial(1, false, unused), false);
    auto* probe = scene->addObject(std::make_unique<StateProbe>(20, "probe"), -1);
    scene->finishLoading();
    scene->setShadows(true);
    drawnFrame(*scene, "probe");
    if (direct) {
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      RenderStats::reset();
      scene->renderHierarchy();
    }
    EXPECT_EQ(probe->draws, direct ? 2 : 1);
    EXPECT_FALSE(probe->metStage);
    EXPECT_EQ(RenderStats::count, 2u) << "the receivers took the shadow as they were drawn";
  }
}

// Scene-based parts draw the tree directly: their textured objects keep their own
// coordinates on unit 0 under a spot shadow, show the texture where lit and half of it in
// the shadow, as render() draws them.
TEST_F(Shadows, TheTreeDrawnDirectlyShowsItsTexturesUnderASpotShadow) {
  constexpr Rgb a{230, 200, 120}, b{90, 140, 220};
  RenderTarget unused;
  auto material = shadeModelMaterial(1, false, unused);
  material->setNoLighting(true);
  auto scene = litShadowScene(std::move(material), false);
  const Camera& camera = *scene->activeCameraObject();
  scene->setTime(0);
  scene->animate();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor4f(1, 1, 1, 1);
  const GlState before = captureGlState();
  scene->renderHierarchy();
  EXPECT_EQ(captureGlState(), before);
  dumpPng("hierarchy_spot", kSize, kSize);
  std::vector<uint8_t> direct(kSize * kSize * 3);
  glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_UNSIGNED_BYTE, direct.data());

  // The floor's uv runs 0..1 over x −10..10 and z 10..−10; the 2 × 2 checker is a at
  // (u, v) < ½ and where both are above, b elsewhere.
  struct Probe {
    glm::vec3 world;
    Rgb texel;
    double keeps;
  };
  const double half = SceneRenderer::kShadowKeeps;
  const std::vector<Probe> probes = {
      {{-5, 0, 5}, a, 1.0}, {{5, 0, 5}, b, 1.0}, {{-5, 0, -5}, b, 1.0},
      {{2.5f, 0, -0.5f}, a, half}, {{2.5f, 0, 0.5f}, b, half},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(testing::Message() << p.world.x << ", " << p.world.z);
    const glm::ivec2 at = windowOf(camera, p.world);
    const Rgb seen = readPixel(at.x, at.y);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(seen[c], byteOf(p.texel[c] / 255.0 * p.keeps), 1);
  }
  scene->setLitPassShadow(false);
  EXPECT_LE(largestDifference(direct, drawnFrame(*scene, "hierarchy_spot_render")), 1);
}

// [SECTION] Depth information

TEST_F(Shadows, DepthPassWritesDistanceOverFarAndTheBlurOfTheFocusRanges) {
  struct Case {
    float distance;
    double depth;  // distance / far
    double blur;   // from focal point 0.5 over the near range 0.4 or the far range 0.3
  };
  const std::vector<Case> cases = {{50, 0.25, 0.25 / 0.4}, {150, 0.75, 0.25 / 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.distance);
    Scene scene;
    scene.addMaterial(std::make_unique<Material>(1, "any"));
    auto quad = makeSquare(1, "quad", 1, c.distance * 0.2f);  // around the middle of the view
    quad->setPosition({0, 0, -c.distance});
    scene.addObject(std::move(quad), -1);
    auto camera = std::make_unique<Camera>(2, "Camera01");  // at the origin, looking down −z
    camera->nearPlane = 1;
    camera->farPlane = 200;
    scene.addCamera(std::move(camera), -1);
    scene.finishLoading();
    scene.updateTransforms();
    const GlState before = captureGlState();
    scene.renderDepthInfo();
    EXPECT_EQ(captureGlState(), before);

    RenderTarget& target = SceneRenderer::instance().depthTarget;
    target.bind();
    const int middle = target.getWidth() / 2;
    const Rgb centre = readPixel(middle, middle);
    const Rgb corner = readPixel(0, 0);  // beyond the quad: the far plane, blur clamped to 1
    target.unbind();
    EXPECT_NEAR(centre[0], byteOf(c.depth), 1);
    EXPECT_NEAR(centre[1], byteOf(c.blur), 1);
    EXPECT_EQ(corner, (Rgb{255, 255, 0}));
  }
}

}  // namespace
