#include "engine/SceneRenderer.h"

#include <gtest/gtest.h>

#include "base/Display.h"
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
