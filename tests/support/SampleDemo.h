#pragma once
// The sample demo of the build (build/demo) loaded in the test's own process the way the
// program loads it: a context of one size for the whole suite, no window of its own and no
// music. Registry is the effect registry the loads fill (EffectList, or one that wraps it).

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/vkd.h"
#include "base/Display.h"
#include "effects/Distort.h"
#include "effects/Grids.h"
#include "effects/NoiseTextures.h"
#include "effects/StandaloneParts.h"
#include "launcher/DemoStartup.h"
#include "launcher/LauncherState.h"
#include "support/GlTestContext.h"

template <class Registry>
class SampleDemoTest : public testing::Test {
 protected:
  static constexpr int kWidth = 200, kHeight = 150;
  static inline const std::filesystem::path kDemoDir = std::filesystem::path(DE_BINARY_DIR) / "demo";

  // One context for the suite, as the program has one: the effects keep process-wide
  // render targets that belong to the context they were made in.
  static void SetUpTestSuite() {
    if (std::filesystem::exists(kDemoDir / "data.vkd")) gl = new GlTestContext(kWidth, kHeight);
  }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }

  void SetUp() override {
    if (!gl) GTEST_SKIP() << "the sample demo is not built here";
    ASSERT_TRUE(gl->ok());
    previous = std::filesystem::current_path();
    std::filesystem::current_path(kDemoDir);
    musicEnabled = false;
    screenWidth = kWidth;
    screenHeight = kHeight;
    queryGlCaps();
    checkExtensions();
    chooseFloatTextureFormat();
    openArchive(kArchiveName, kArchivePassword);
    drawLoadingScreen();
    effectRegistry = &registry;
  }
  void TearDown() override {
    if (previous.empty()) return;
    registry.clear();
    effectRegistry = nullptr;
    std::filesystem::current_path(previous);
  }

  // What a fresh process starts with and a load keeps: the state every instance of a type
  // shares. A load in this process after other frames matches a fresh program only with it.
  static void resetSharedEffectState() {
    LineDistortionEffect::phase = 0;
    PNoiseEffect::marbleZ = 0;
    NoiseEffect::noiseRect = {0, 0, 1, 1};
    Spheres::lightPoint = {0.0f, 0.0f, 1.0f};
    Spheres::lightVelocity = {0.005f, 0.003f, 0.003f};
    GridWater::shared() = GridWater::Shared{};
  }

  static inline GlTestContext* gl = nullptr;
  Registry registry;
  std::filesystem::path previous;
};
