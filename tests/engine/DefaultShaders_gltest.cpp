// The scene passes' programs built into the program: the very text of the sample demo's
// files, compiled when the data has none, and a demo's own file still first.

#include "engine/DefaultShaders.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace {

constexpr const char* kBuiltIn[] = {"vp_depth_info.cg",    "fp_depth_info.cg",  "vp_light_distance.cg",
                                    "fp_light_distance.cg", "fp_shadowmap.cg",   "vp_omni_shadowmap.cg",
                                    "fp_omni_shadowmap.cg"};

TEST(DefaultShaders, AreTheSampleDemosFilesWordForWord) {
  for (const char* name : kBuiltIn) {
    const char* source = defaultShaderSource(std::string("data/shaders/") + name);
    ASSERT_NE(source, nullptr) << name;
    EXPECT_EQ(source, readText(std::string(DE_SOURCE_DIR) + "/demo/data/shaders/" + name)) << name;
  }
}

TEST(DefaultShaders, OnlyTheScenePassesAreBuiltIn) {
  for (const char* name : {"data/shaders/fp_blur.cg", "data/shaders/vp_pulse.cg", "vp_depth_info.cg",
                           "data/shaders/VP_DEPTH_INFO.cg", ""})
    EXPECT_EQ(defaultShaderSource(name), nullptr) << name;
}

class DefaultShaderLoad : public testing::Test {
 protected:
  static void SetUpTestSuite() { gl = new GlTestContext(16, 16); }
  static GlTestContext* gl;
};

GlTestContext* DefaultShaderLoad::gl = nullptr;

TEST_F(DefaultShaderLoad, CompilesWhereTheDataHasNoShaderFiles) {
  ASSERT_TRUE(gl->ok());
  WorkingDirectory empty("default_shaders");
  const VertexProgram* vertex = getVertexProgram("data/shaders/vp_depth_info.cg");
  const FragmentProgram* fragment = getFragmentProgram("data/shaders/fp_omni_shadowmap.cg");
  GLint linked = GL_FALSE;
  glGetProgramiv(vertex->getProgram(), GL_LINK_STATUS, &linked);
  EXPECT_EQ(linked, GL_TRUE);
  glGetProgramiv(fragment->getProgram(), GL_LINK_STATUS, &linked);
  EXPECT_EQ(linked, GL_TRUE);
}

TEST_F(DefaultShaderLoad, TheDemosOwnFileComesFirst) {
  ASSERT_TRUE(gl->ok());
  WorkingDirectory demo("default_shaders");
  demo.write("data/shaders/fp_shadowmap.cg",
             "#version 120\nuniform vec4 ownProgram;\nvoid main() { gl_FragColor = ownProgram; }\n");
  const FragmentProgram* own = getFragmentProgram("data/shaders/fp_shadowmap.cg");
  EXPECT_GE(own->getNamedParameter("ownProgram"), 0);
}

}  // namespace
