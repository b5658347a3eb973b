#include "engine/ShaderManager.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "base/Error.h"
#include "base/LoadRecord.h"
#include "base/Math.h"
#include "base/vkd.h"
#include "engine/DefaultShaders.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"

namespace {

// The driver's log as one line, so the whole report stays on the line the error box shows.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool isSampler(GLenum type) {
  switch (type) {
    case GL_SAMPLER_1D:
    case GL_SAMPLER_2D:
    case GL_SAMPLER_3D:
    case GL_SAMPLER_CUBE:
    case GL_SAMPLER_1D_SHADOW:
    case GL_SAMPLER_2D_SHADOW:
    case GL_SAMPLER_2D_RECT:
    case GL_SAMPLER_2D_RECT_SHADOW:
      return true;
    default:
      return false;
  }
}

// The unit on which the drawing code binds the texture a sampler of this name reads.
int samplerUnit(std::string name) {
  if (const size_t bracket = name.find('['); bracket != std::string::npos) name.resize(bracket);
  if (name == "diffuseMap") return 0;
  if (name == "envMap" || name == "lightMap") return 1;
  if (name == "glossMap") return 2;
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back()))) return name.back() - '0';
  return 0;
}

// While authoring, each error of the driver's log at its own line of the shader file. The
// log's lines read "0:LINE(COLUMN): error: TEXT"; a log in another form is one problem.
void reportCompileProblems(const std::string& fileName, const std::string& log) {
  if (!loadProblemsWatched()) return;
  bool any = false;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    const size_t open = line.find('(');
    const size_t marker = line.find("): error: ");
    if (colon == std::string::npos || open == std::string::npos || marker == std::string::npos ||
        !(colon < open && open < marker))
      continue;
    const int lineNumber = std::atoi(line.c_str() + colon + 1);
    reportLoadProblem({fileName, lineNumber, "CG error: " + line.substr(marker + 10), true});
    any = true;
  }
  if (!any) reportLoadProblem({fileName, 0, "CG error: " + oneLine(log), true});
}

glm::mat4 currentMatrix(GLenum which) {
  float m[16];
  glGetFloatv(which, m);
  return demo_math::fromGl(m);
}

// The inverse of a singular matrix is all zeros (GLM's would divide by zero).
glm::mat4 inverseOrZero(const glm::mat4& m) {
  return glm::determinant(m) == 0.0f ? glm::mat4(0.0f) : glm::inverse(m);
}

}  // namespace

// [SECTION] ShaderProgram

ShaderProgram::ShaderProgram(const std::string& fileName, GLenum shaderType)
    : fileName(fileName), shaderType(shaderType) {}

void ShaderProgram::compile(const char* sourceFile, int line) {
  assertTrue(!fileName.empty(), sourceFile, line);
  MemoryFile* file = loadFile(fileName.c_str());
  // The scene passes' programs are built in for data that has none of its own.
  const char* builtIn = file ? nullptr : defaultShaderSource(fileName);
  if (!file && !builtIn) reportErrorText(sourceFile, line, "Shader file not found: ", fileName.c_str(), true);
  // Sources are stored without a terminator.
  const std::string text = file ? std::string(reinterpret_cast<const char*>(file->data), file->size) : std::string(builtIn ? builtIn : "");
  closeFile(file);

  const char* source = text.c_str();
  program = glCreateShaderProgramv(shaderType, 1, &source);
  GLint linked = GL_FALSE;
  if (program != 0) glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    GLint length = 0;
    if (program != 0) glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(size_t(std::max(length, 1)), '\0');
    if (program != 0) glGetProgramInfoLog(program, length, nullptr, log.data());
    std::string message = oneLine(log.data());
    if (message.empty()) message = "the program did not compile";
    reportCompileProblems(fileName, log.data()[0] ? std::string(log.data()) : message);
    ShaderManager::instance().setPendingError(message);
  }
  checkCgError(sourceFile, line);
  assignSamplerUnits();
}

void ShaderProgram::assignSamplerUnits() const {
  GLint count = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
  for (GLint i = 0; i < count; ++i) {
    char name[256];
    GLsizei length = 0;
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof name, &length, &size, &type, name);
    if (!isSampler(type)) continue;
    const GLint location = glGetUniformLocation(program, name);
    if (location >= 0) glProgramUniform1i(program, location, samplerUnit(name));
  }
}

GLint ShaderProgram::getNamedParameter(const char* name) const {
  return program != 0 ? glGetUniformLocation(program, name) : -1;
}

void ShaderProgram::bind() {
  ShaderManager::instance().useStage(shaderType, program);
  checkCgError(DE_HERE);
  bound = true;
}

void ShaderProgram::unbind() {
  ShaderManager::instance().useStage(shaderType, 0);
  checkCgError(DE_HERE);
  bound = false;
}

void ShaderProgram::setParameter1f(GLint handle, float x) const {
  if (handle >= 0) glProgramUniform1f(program, handle, x);
}

void ShaderProgram::setParameter4f(GLint handle, float x, float y, float z, float w) const {
  if (handle >= 0) glProgramUniform4f(program, handle, x, y, z, w);
}

void ShaderProgram::setParameter4fv(GLint handle, const float* v) const {
  if (handle >= 0) glProgramUniform4fv(program, handle, 1, v);
}

void ShaderProgram::setTextureUnit(GLint handle, int unit) const {
  if (handle >= 0) glProgramUniform1i(program, handle, unit);
}

void ShaderProgram::setStateMatrixParameter(GLint handle, StateMatrix matrix,
                                            MatrixTransform transform) const {
  if (handle < 0) return;
  glm::mat4 m(1.0f);
  switch (matrix) {
    case StateMatrix::ModelView: m = currentMatrix(GL_MODELVIEW_MATRIX); break;
    case StateMatrix::Projection: m = currentMatrix(GL_PROJECTION_MATRIX); break;
    case StateMatrix::Texture: m = currentMatrix(GL_TEXTURE_MATRIX); break;
    case StateMatrix::ModelViewProjection:
      m = currentMatrix(GL_PROJECTION_MATRIX) * currentMatrix(GL_MODELVIEW_MATRIX);
      break;
  }
  switch (transform) {
    case MatrixTransform::Identity: break;
    case MatrixTransform::Transpose: m = glm::transpose(m); break;
    case MatrixTransform::Inverse: m = inverseOrZero(m); break;
    case MatrixTransform::InverseTranspose: m = glm::transpose(inverseOrZero(m)); break;
  }
  glProgramUniformMatrix4fv(program, handle, 1, GL_FALSE, glm::value_ptr(m));
}

// [SECTION] ShaderManager

ShaderManager& ShaderManager::instance() {
  // Never destroyed: the programs' GL objects cannot be deleted once the context is gone.
  static ShaderManager* manager = new ShaderManager;
  return *manager;
}

ShaderManager::ShaderManager() { glGenProgramPipelines(1, &pipeline); }

void ShaderManager::useStage(GLenum shaderType, GLuint program) {
  const bool vertex = shaderType == GL_VERTEX_SHADER;
  (vertex ? vertexStage : fragmentStage) = program;
  glUseProgramStages(pipeline, vertex ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT, program);
  glBindProgramPipeline(vertexStage != 0 || fragmentStage != 0 ? pipeline : 0);
}

ShaderProgram* ShaderManager::findProgram(const std::string& name) { return programs.acquire(name); }

int ShaderManager::addProgram(const std::string& name, ShaderProgram* program) {
  return programs.add(name, program);
}

int ShaderManager::useCount(const std::string& name) const { return programs.useCount(name); }

std::vector<std::unique_ptr<ShaderProgram>> ShaderManager::releasePrograms(
    const std::vector<std::string>& changedFiles) {
  std::set<std::string> changed;
  for (const std::string& file : changedFiles) changed.insert(dataFileKey(file));
  return programs.releaseIf([&](const std::string& name, const ShaderProgram& program) {
    GLint linked = GL_FALSE;
    if (program.getProgram() != 0) glGetProgramiv(program.getProgram(), GL_LINK_STATUS, &linked);
    return linked != GL_TRUE || changed.count(dataFileKey(name)) > 0;
  });
}

std::string ShaderManager::takePendingError() {
  std::string text;
  text.swap(pendingError);
  return text;
}

// [SECTION] Shared programs and the error check

namespace {

template <typename Program>
Program* getProgram(const std::string& fileName) {
  ShaderManager& manager = ShaderManager::instance();
  if (ShaderProgram* cached = manager.findProgram(fileName)) {
    auto* program = dynamic_cast<Program*>(cached);
    assertNotNull(program, DE_HERE);  // the file was first loaded for the other stage
    return program;
  }
  auto* program = new Program(fileName);
  manager.addProgram(fileName, program);
  program->load();
  return program;
}

}  // namespace

VertexProgram* getVertexProgram(const std::string& fileName) {
  return getProgram<VertexProgram>(fileName);
}

FragmentProgram* getFragmentProgram(const std::string& fileName) {
  return getProgram<FragmentProgram>(fileName);
}

void checkCgError(const char* sourceFile, int line) {
  const std::string text = ShaderManager::instance().takePendingError();
  if (!text.empty()) reportErrorText(sourceFile, line, "CG error", text.c_str(), true);
  // Whatever GL error is left is not the program's: it belongs to earlier drawing.
  drainGlErrors(sourceFile, line);
}
