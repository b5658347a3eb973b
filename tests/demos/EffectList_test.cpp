#include "demos/EffectList.h"

#include <gtest/gtest.h>

#include "demoSystem/Timeline.h"
#include "effects/Distort.h"
#include "effects/Grids.h"
#include "effects/LayerEffects.h"
#include "effects/NoiseTextures.h"
#include "effects/PostProcess.h"
#include "effects/StandaloneParts.h"

namespace {

int alive = 0;

class CountedEffect : public Effect {
 public:
  explicit CountedEffect(const std::string& name) : Effect(name) { ++alive; }
  ~CountedEffect() override { --alive; }
  void render(uint32_t) override {}
};

const EffectType kCountedTypes[] = {
    {"Counted", [](const std::string& n) -> Effect* { return new CountedEffect(n); }},
    {"Counted", [](const std::string&) -> Effect* { return nullptr; }},  // never reached
};

class EffectListTest : public testing::Test {
 protected:
  void SetUp() override { demoEndTime = 20000; }
  void TearDown() override { demoEndTime = 0; }
};

TEST_F(EffectListTest, TheTableHoldsTheFortyTwoNamesInTheirFixedOrder) {
  std::vector<std::string> names;
  for (const EffectType& type : builtInEffectTypes()) names.push_back(type.name);
  EXPECT_EQ(names, (std::vector<std::string>{
      "Scene", "Blur", "Clear", "Fade", "Flash", "GridExp", "GridWater", "Image", "Metaballs",
      "LineDistortion", "Mosaic", "Noise", "OmniShadowTest", "Osc", "PNoise", "ShaderRTT",
      "ShaderRTT_HDR", "ShaderDOF", "Spectrum", "Spheres", "Ripple", "RotoZoom",
      "TargetTexture", "TargetTextureHDR", "TechnoNoise", "ThreadObject", "Tiles",
      "TypeWriter", "ViewFPS", "TestHdr", "SeriesFlower", "Boids", "BoidScene", "Smoke",
      "SmokeScene", "SmokeCube", "Molecules", "FontMachine", "ArmScene", "SwimBoid",
      "GrowScene", "ParticleTest"}));
}

TEST_F(EffectListTest, EveryBuiltInTypeIsCreatedByItsName) {
  EffectList list;
  for (const char* type : {"Clear", "Fade", "Flash", "Image"})
    EXPECT_TRUE(list.insertEffect(std::string("my") + type, type));
  ASSERT_EQ(list.effects().size(), 4u);
  EXPECT_NE(dynamic_cast<ClearEffect*>(list.findEffect("myClear")), nullptr);
  EXPECT_NE(dynamic_cast<FadeEffect*>(list.findEffect("myFade")), nullptr);
  EXPECT_NE(dynamic_cast<FlashEffect*>(list.findEffect("myFlash")), nullptr);
  EXPECT_NE(dynamic_cast<ImageEffect*>(list.findEffect("myImage")), nullptr);
}

TEST_F(EffectListTest, ClearStartsOpaqueBlack) {
  EffectList list;
  list.insertEffect("c", "Clear");
  auto* clear = dynamic_cast<ClearEffect*>(list.findEffect("c"));
  ASSERT_NE(clear, nullptr);
  EXPECT_FLOAT_EQ(clear->Red.value, 0);
  EXPECT_FLOAT_EQ(clear->Green.value, 0);
  EXPECT_FLOAT_EQ(clear->Blue.value, 0);
  EXPECT_FLOAT_EQ(clear->Alpha.value, 1);
}

TEST_F(EffectListTest, ANewInstanceIsInactiveEverywhereUntilBegin) {
  EffectList list;
  list.insertEffect("f", "Fade");
  Effect* fade = list.findEffect("f");
  for (uint32_t t : {0u, 1u, 10000u, 19999u, 20000u, 0xFFFFFFFFu}) EXPECT_FALSE(fade->active.evaluateBool(t));
  fade->active.setKey(1, 5000);
  EXPECT_TRUE(fade->active.evaluateBool(6000));
}

TEST_F(EffectListTest, DuplicateNamesFindTheFirstCreated) {
  EffectList list(kCountedTypes);
  list.insertEffect("same", "Counted");
  list.insertEffect("other", "Counted");
  list.insertEffect("same", "Counted");
  ASSERT_EQ(list.effects().size(), 3u);
  EXPECT_EQ(list.findEffect("same"), list.effects()[0]);
  EXPECT_EQ(list.findEffect("other"), list.effects()[1]);
  EXPECT_EQ(list.findEffect("sam"), nullptr);
  EXPECT_EQ(list.findEffect("same "), nullptr);
}

TEST_F(EffectListTest, TheFirstMatchingRowWinsAndTheListOwnsItsEffects) {
  alive = 0;
  {
    EffectList list(kCountedTypes);
    list.insertEffect("a", "Counted");
    list.insertEffect("b", "Counted");
    EXPECT_EQ(alive, 2);
    list.clear();
    EXPECT_EQ(alive, 0);
    EXPECT_TRUE(list.effects().empty());
    list.insertEffect("c", "Counted");
  }
  EXPECT_EQ(alive, 0);
}

TEST_F(EffectListTest, EmptyingTheListPutsWhatTheTypesShareBackToItsStart) {
  // As a demo leaves them after playing a while.
  LineDistortionEffect::phase = 123;
  PNoiseEffect::marbleZ = 4.5;
  NoiseEffect::noiseRect = {0.3f, 0.7f, 1, 1};
  exposure = 1.5f;
  Spheres::lightPoint = {0.4f, -0.2f, 0.9f};
  GridWater::shared().newDrop = false;
  EffectList list(kCountedTypes);
  list.insertEffect("a", "Counted");
  list.clear();
  EXPECT_EQ(LineDistortionEffect::phase, 0);
  EXPECT_EQ(PNoiseEffect::marbleZ, 0);
  EXPECT_EQ(NoiseEffect::noiseRect.x, 0);
  EXPECT_EQ(NoiseEffect::noiseRect.y, 0);
  EXPECT_EQ(exposure, 32);
  EXPECT_EQ(Spheres::lightPoint, glm::vec3(0, 0, 1));
  EXPECT_TRUE(GridWater::shared().newDrop);
}

using EffectListDeathTest = EffectListTest;

TEST_F(EffectListDeathTest, TypeNamesAreCaseSensitive) {
  EffectList list;
  EXPECT_EXIT(list.insertEffect("x", "clear"), testing::ExitedWithCode(1),
              "^demos/EffectList\\.cpp:[0-9]+ EffectType not found: clear\n$");
  EXPECT_EXIT(list.insertEffect("x", "blur"), testing::ExitedWithCode(1),
              "^demos/EffectList\\.cpp:[0-9]+ EffectType not found: blur\n$");
  EXPECT_EXIT(list.insertEffect("x", "Clear "), testing::ExitedWithCode(1),
              "EffectType not found: Clear \n$");
}

}  // namespace
