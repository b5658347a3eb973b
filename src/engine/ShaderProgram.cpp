#include "engine/ShaderProgram.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "archive/vkd.h"
#include "base/Error.h"
#include "base/LoadRecord.h"
#include "base/Math.h"
#include "engine/DefaultShaders.h"

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
  const std::string text =
      file ? std::string(reinterpret_cast<const char*>(file->data), file->size) : std::string(builtIn ? builtIn : "");
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
    setPendingShaderError(message);
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
  useProgramStage(shaderType, program);
  checkCgError(DE_HERE);
  bound = true;
}

void ShaderProgram::unbind() {
  useProgramStage(shaderType, 0);
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

// [SECTION] The program pipeline and the pending error

namespace {

struct Pipeline {
  GLuint object = 0;
  GLuint vertexStage = 0;
  GLuint fragmentStage = 0;
};

Pipeline& pipeline() {
  static Pipeline p;
  if (p.object == 0) glGenProgramPipelines(1, &p.object);
  return p;
}

std::string pendingError;

}  // namespace

void useProgramStage(GLenum shaderType, GLuint program) {
  Pipeline& p = pipeline();
  const bool vertex = shaderType == GL_VERTEX_SHADER;
  (vertex ? p.vertexStage : p.fragmentStage) = program;
  glUseProgramStages(p.object, vertex ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT, program);
  glBindProgramPipeline(p.vertexStage != 0 || p.fragmentStage != 0 ? p.object : 0);
}

GLuint programPipeline() { return pipeline().object; }

void setPendingShaderError(const std::string& text) { pendingError = text; }

std::string takePendingShaderError() {
  std::string text;
  text.swap(pendingError);
  return text;
}

void checkCgError(const char* sourceFile, int line) {
  const std::string text = takePendingShaderError();
  if (!text.empty()) reportErrorText(sourceFile, line, "CG error", text.c_str(), true);
  // Whatever GL error is left is not the program's: it belongs to earlier drawing.
  drainGlErrors(sourceFile, line);
}
