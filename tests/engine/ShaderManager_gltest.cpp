#include "engine/ShaderManager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "base/Error.h"
#include "base/LoadRecord.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"

namespace {

using testimages::makeTempDir;
using testimages::writeFile;

// One context for the whole program: the manager's pipeline belongs to it.
class Shaders : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(32, 32);
    dir = new std::string(makeTempDir());
  }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 32, 32);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
  }

  static std::string shader(const std::string& name, const std::string& text) {
    const std::string path = *dir + name;
    writeFile(path, text);
    return path;
  }

  // The unit square with colour (0.2, 0.4, 0.6) and normal (1, 0, 0).
  static void drawQuad(float x0 = 0, float x1 = 1) {
    glColor4f(0.2f, 0.4f, 0.6f, 1.0f);
    glNormal3f(1, 0, 0);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x0, 0);
    glTexCoord2f(1, 0);
    glVertex2f(x1, 0);
    glTexCoord2f(1, 1);
    glVertex2f(x1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(x0, 1);
    glEnd();
  }

  static std::array<int, 4> pixel(int x, int y) {
    const auto p = gl->pixel(x, y);
    return {p[0], p[1], p[2], p[3]};
  }

  static GlTestContext* gl;
  static std::string* dir;
};

GlTestContext* Shaders::gl = nullptr;
std::string* Shaders::dir = nullptr;

constexpr const char* kFactorsFragment = R"(#version 120
uniform vec4 factors;
void main() { gl_FragColor = gl_Color * factors; }
)";

constexpr const char* kMaterialVertex = R"(#version 120
uniform mat4 ModelViewProj;
uniform vec4 DiffuseMaterial;
void main() {
  gl_Position = ModelViewProj * gl_Vertex;
  gl_FrontColor = DiffuseMaterial;
}
)";

void expectPixel(std::array<int, 4> actual, std::array<int, 3> rgb) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], rgb[c], 1) << "channel " << c;
}

// [SECTION] The cache

TEST_F(Shaders, SameFileTwiceGivesOneProgramReadOnce) {
  const std::string path = shader("once.cg", kFactorsFragment);
  FragmentProgram* first = getFragmentProgram(path);
  ASSERT_NE(first, nullptr);
  // A second read would find no file and stop the program.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  FragmentProgram* second = getFragmentProgram(path);
  EXPECT_EQ(second, first);
  EXPECT_EQ(ShaderManager::instance().useCount(path), 2);
  EXPECT_EQ(ShaderManager::instance().findProgram(path), first);
  EXPECT_EQ(ShaderManager::instance().useCount(path), 3);
}

TEST_F(Shaders, CacheRefusesASecondProgramUnderANameAndNull) {
  ShaderManager& manager = ShaderManager::instance();
  auto* a = new VertexProgram("cache-a.cg");
  auto* b = new VertexProgram("cache-a.cg");
  EXPECT_EQ(manager.addProgram("cache-a.cg", a), 0);
  EXPECT_EQ(manager.addProgram("cache-a.cg", b), 1);
  EXPECT_EQ(manager.useCount("cache-a.cg"), 1);
  EXPECT_EQ(manager.addProgram("cache-a.cg", a), 0);
  EXPECT_EQ(manager.useCount("cache-a.cg"), 2);
  EXPECT_EQ(manager.findProgram("cache-a.cg"), a);
  EXPECT_EQ(manager.addProgram("cache-b.cg", nullptr), 1);
  EXPECT_EQ(manager.findProgram("cache-b.cg"), nullptr);
  delete b;
}

TEST_F(Shaders, ProgramsAreConstructedUnloadedAndUnbound) {
  VertexProgram program("never-loaded.cg");
  EXPECT_FALSE(program.isBound());
  EXPECT_EQ(program.getProgram(), 0u);
  EXPECT_EQ(program.getFileName(), "never-loaded.cg");
  EXPECT_EQ(program.factors, -1);
}

// [SECTION] Drawing with one programmable stage

TEST_F(Shaders, FragmentProgramRunsWithFixedFunctionVertexProcessing) {
  FragmentProgram* program = getFragmentProgram(shader("fp_factors.cg", kFactorsFragment));
  ASSERT_GE(program->factors, 0);
  program->setParameter4f(program->factors, 1.0f, 0.5f, 0.0f, 1.0f);
  program->bind();
  EXPECT_TRUE(program->isBound());
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(0.5f, 0, 0);  // fixed-function transform: the quad covers the right half
  drawQuad();
  expectPixel(pixel(24, 16), {51, 51, 0});
  expectPixel(pixel(8, 16), {0, 0, 0});

  // A parameter set through its handle changes the picture.
  program->setParameter4f(program->factors, 0.0f, 1.0f, 1.0f, 1.0f);
  drawQuad();
  expectPixel(pixel(24, 16), {0, 102, 153});
  program->unbind();
  EXPECT_FALSE(program->isBound());

  // Unbound, the fixed-function fragment stage is back.
  drawQuad();
  expectPixel(pixel(24, 16), {51, 102, 153});
}

TEST_F(Shaders, VertexProgramRunsWithFixedFunctionFragmentProcessing) {
  VertexProgram* program = getVertexProgram(shader("vp_material.cg", kMaterialVertex));
  ASSERT_GE(program->ModelViewProj, 0);
  ASSERT_GE(program->DiffuseMaterial, 0);
  program->bind();
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(-0.5f, 0, 0);  // only the left half stays on screen
  program->setModelViewProj();
  program->setParameter4f(program->DiffuseMaterial, 1.0f, 0.0f, 1.0f, 1.0f);
  drawQuad();
  expectPixel(pixel(8, 16), {255, 0, 255});
  expectPixel(pixel(24, 16), {0, 0, 0});
  program->unbind();
  glLoadIdentity();
  drawQuad(0.5f, 1.0f);
  expectPixel(pixel(24, 16), {51, 102, 153});
}

TEST_F(Shaders, UnbindingRemovesTheProgramFromItsStage) {
  VertexProgram* vertex = getVertexProgram(shader("vp_stage.cg", kMaterialVertex));
  FragmentProgram* fragment = getFragmentProgram(shader("fp_stage.cg", kFactorsFragment));
  const GLuint pipeline = ShaderManager::instance().getPipeline();
  const auto stage = [&](GLenum which) {
    GLint program = -1;
    glGetProgramPipelineiv(pipeline, which, &program);
    return program;
  };
  GLint bound = -1;
  vertex->bind();
  fragment->bind();
  EXPECT_EQ(stage(GL_VERTEX_SHADER), GLint(vertex->getProgram()));
  EXPECT_EQ(stage(GL_FRAGMENT_SHADER), GLint(fragment->getProgram()));
  vertex->unbind();
  EXPECT_EQ(stage(GL_VERTEX_SHADER), 0);
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &bound);
  EXPECT_EQ(bound, GLint(pipeline));
  fragment->unbind();
  EXPECT_EQ(stage(GL_FRAGMENT_SHADER), 0);
  // Nothing installed: no pipeline bound, both stages fixed-function.
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &bound);
  EXPECT_EQ(bound, 0);
  drawQuad();
  expectPixel(pixel(16, 16), {51, 102, 153});
}

TEST_F(Shaders, ModelViewITIsTheInverseTransposeOfTheModelview) {
  VertexProgram* program = getVertexProgram(shader("vp_normals.cg", R"(#version 120
uniform mat4 ModelViewProj;
uniform mat4 ModelViewIT;
void main() {
  gl_Position = ModelViewProj * gl_Vertex;
  gl_FrontColor = vec4((ModelViewIT * vec4(gl_Normal, 0.0)).xyz * 0.5 + 0.5, 1.0);
}
)"));
  ASSERT_GE(program->ModelViewIT, 0);
  program->bind();
  glMatrixMode(GL_MODELVIEW);
  glScalef(2.0f, 1.0f, 1.0f);  // normal (1, 0, 0) becomes (0.5, 0, 0)
  program->setModelViewProj();
  program->setModelViewIT();
  drawQuad(0.0f, 0.5f);
  program->unbind();
  expectPixel(pixel(16, 16), {191, 128, 128});
}

TEST_F(Shaders, SamplersReadTheUnitsTheDrawingCodeUses) {
  FragmentProgram* program = getFragmentProgram(shader("fp_units.cg", R"(#version 120
uniform sampler2D diffuseMap;
uniform sampler2D glossMap;
uniform sampler2D image1;
void main() {
  gl_FragColor = vec4(texture2D(diffuseMap, gl_TexCoord[0].xy).r,
                      texture2D(glossMap, gl_TexCoord[0].xy).g,
                      texture2D(image1, gl_TexCoord[0].xy).b, 1.0);
}
)"));
  EXPECT_GE(program->diffuseMap, 0);
  EXPECT_GE(program->glossMap, 0);
  EXPECT_EQ(program->envMap, -1);
  GLuint textures[3];
  glGenTextures(3, textures);
  const uint8_t colours[3][4] = {{255, 0, 0, 255}, {0, 0, 255, 255}, {0, 255, 0, 255}};
  const int units[3] = {0, 1, 2};  // diffuseMap red on 0, image1 blue on 1, glossMap green on 2
  for (int i = 0; i < 3; ++i) {
    glActiveTexture(GL_TEXTURE0 + units[i]);
    glBindTexture(GL_TEXTURE_2D, textures[i]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, colours[i]);
  }
  glActiveTexture(GL_TEXTURE0);
  program->bind();
  drawQuad();
  program->unbind();
  expectPixel(pixel(16, 16), {255, 255, 255});
  glDeleteTextures(3, textures);
}

TEST_F(Shaders, ShaderWithNoneOfTheNamesLoadsBindsAndSkipsEverySetter) {
  VertexProgram* vertex = getVertexProgram(shader("vp_plain.cg", R"(#version 120
void main() { gl_Position = ftransform(); gl_FrontColor = vec4(0.0, 1.0, 0.0, 1.0); }
)"));
  for (GLint handle : {vertex->ModelViewProj, vertex->ModelViewIT, vertex->Position, vertex->Normal,
                       vertex->ObjectPosWorldSpace, vertex->numLights, vertex->LightVec0,
                       vertex->LightVec1, vertex->LightVec2, vertex->LightVec3,
                       vertex->AmbientMaterial, vertex->DiffuseMaterial, vertex->SpecularMaterial,
                       vertex->factors, vertex->NearDivFar})
    EXPECT_EQ(handle, -1);
  vertex->bind();
  vertex->setModelViewProj();
  vertex->setModelViewIT();
  vertex->setParameter1f(vertex->numLights, 2.0f);
  vertex->setParameter4f(vertex->factors, 1, 2, 3, 4);
  drawQuad();
  vertex->unbind();
  checkCgError("engine/test", 1);  // no GL error was left behind
  expectPixel(pixel(16, 16), {0, 255, 0});
}

// [SECTION] Failures

// [SECTION] Authoring

TEST_F(Shaders, WhileAuthoringEachCompileErrorIsReportedAtItsLineOfTheShaderFile) {
  const std::string path = shader("fp_two_errors.cg", "#version 120\nvoid main() {\n  vec4 a = 1.0;\n"
                                                        "  gl_FragColor = undefinedName;\n}\n");
  std::vector<LoadProblem> problems;
  setLoadProblemListener([&](const LoadProblem& problem) { problems.push_back(problem); });
  const std::optional<FatalReport> fatal = catchFatalReports([&] { getFragmentProgram(path); });
  setLoadProblemListener({});
  ASSERT_TRUE(fatal);  // the fatal report follows, as in a plain run
  EXPECT_EQ(fatal->message.rfind("CG error: ", 0), 0u);
  ASSERT_GE(problems.size(), 1u);
  for (const LoadProblem& problem : problems) {
    EXPECT_EQ(problem.file, path);
    EXPECT_TRUE(problem.fatalFollows);
    EXPECT_EQ(problem.message.rfind("CG error: ", 0), 0u) << problem.message;
  }
  EXPECT_EQ(problems.front().line, 3);
  EXPECT_EQ(problems.back().line, 4);
}

TEST_F(Shaders, ReleasingTakesOutChangedFilesAndFailedCompilesOnly) {
  const std::string kept = shader("fp_kept.cg", kFactorsFragment);
  const std::string changed = shader("fp_changed.cg", kFactorsFragment);
  const std::string broken = shader("fp_broken_once.cg", "#version 120\nvoid main() { x; }\n");
  ShaderProgram* keptProgram = getFragmentProgram(kept);
  ShaderProgram* changedProgram = getFragmentProgram(changed);
  EXPECT_TRUE(catchFatalReports([&] { getFragmentProgram(broken); }));

  // (Programs that failed in earlier tests go too.)
  const auto released = ShaderManager::instance().releasePrograms({"./" + changed});
  auto wasReleased = [&](const std::string& fileName) {
    return std::any_of(released.begin(), released.end(), [&](const auto& p) { return p->getFileName() == fileName; });
  };
  EXPECT_TRUE(wasReleased(changed));
  EXPECT_TRUE(wasReleased(broken));
  EXPECT_FALSE(wasReleased(kept));
  EXPECT_EQ(ShaderManager::instance().useCount(changed), 0);
  EXPECT_EQ(ShaderManager::instance().useCount(broken), 0);
  EXPECT_EQ(getFragmentProgram(kept), keptProgram);
  // Read and compiled again; the old one still works for whoever holds it.
  shader("fp_broken_once.cg", kFactorsFragment);
  EXPECT_NE(getFragmentProgram(broken)->getProgram(), 0u);
  EXPECT_NE(getFragmentProgram(changed), nullptr);
  EXPECT_NE(changedProgram->getProgram(), 0u);
}

// The child re-runs the program from the start: a forked copy of a live GL context (and
// the driver's threads) is no place to draw in.
class ShadersDeathTest : public Shaders {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Shaders::SetUp();
  }
};

TEST_F(ShadersDeathTest, CompileErrorStopsWithTheDriversText) {
  const std::string path = shader("vp_broken.cg", "#version 120\nvoid main() { gl_Position = ; }\n");
  EXPECT_EXIT(getVertexProgram(path), testing::ExitedWithCode(1),
              "^(src/)?engine/VertexProgram.cpp:[0-9]+ CG error: .*error.*\n$");
}

TEST_F(ShadersDeathTest, MissingFileStopsWithItsName) {
  EXPECT_EXIT(getFragmentProgram(*dir + "nothing.cg"), testing::ExitedWithCode(1),
              "^(src/)?engine/FragmentProgram.cpp:[0-9]+ Shader file not found: : .*nothing.cg\n$");
}

TEST_F(ShadersDeathTest, AStrayGlErrorIsDrainedAndReportedOnceNotFatal) {
  EXPECT_EXIT(
      {
        for (int i = 0; i < 3; ++i) {
          glEnable(0xFFFF);  // not a capability
          checkCgError("engine/Mesh", 42);
          if (glGetError() != GL_NO_ERROR) std::exit(3);
        }
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "^engine/Mesh:42 GL error \\(not fatal, reported once\\): GL_INVALID_ENUM\n$");
}

}  // namespace
