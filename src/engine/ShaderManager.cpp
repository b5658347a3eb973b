#include "engine/ShaderManager.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

#include "base/Error.h"
#include "base/vkd.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"

namespace {

const char* glErrorName(GLenum error) {
  switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default: return "unknown GL error";
  }
}

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

using Matrix = std::array<float, 16>;  // column-major, as GL keeps it

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      float s = 0.0f;
      for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[c * 4 + k];
      r[c * 4 + row] = s;
    }
  return r;
}

Matrix transpose(const Matrix& m) {
  Matrix r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) r[c * 4 + row] = m[row * 4 + c];
  return r;
}

// General 4 × 4 inverse by cofactors; a singular matrix gives zeros.
Matrix inverse(const Matrix& m) {
  Matrix inv{};
  inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
           m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
  inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
           m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
  inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
           m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
  inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
            m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
  inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
           m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
  inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
           m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
  inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
           m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
  inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
            m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
  inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
           m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
  inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
           m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
  inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
            m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
  inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
            m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
  inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
           m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
  inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
           m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
  inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
            m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
  inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
            m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
  const float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
  if (det == 0.0f) return Matrix{};
  for (float& v : inv) v /= det;
  return inv;
}

Matrix currentMatrix(GLenum which) {
  Matrix m{};
  glGetFloatv(which, m.data());
  return m;
}

}  // namespace

// [SECTION] ShaderProgram

ShaderProgram::ShaderProgram(const std::string& fileName, GLenum shaderType)
    : fileName(fileName), shaderType(shaderType) {}

void ShaderProgram::compile(const char* sourceFile, int line) {
  assertTrue(!fileName.empty(), sourceFile, line);
  MemoryFile* file = loadFile(fileName.c_str());
  if (!file) reportErrorText(sourceFile, line, "Shader file not found: ", fileName.c_str(), true);
  // Sources are stored without a terminator.
  const std::string text(reinterpret_cast<const char*>(file->data), file->size);
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
  Matrix m{};
  switch (matrix) {
    case StateMatrix::ModelView: m = currentMatrix(GL_MODELVIEW_MATRIX); break;
    case StateMatrix::Projection: m = currentMatrix(GL_PROJECTION_MATRIX); break;
    case StateMatrix::Texture: m = currentMatrix(GL_TEXTURE_MATRIX); break;
    case StateMatrix::ModelViewProjection:
      m = multiply(currentMatrix(GL_PROJECTION_MATRIX), currentMatrix(GL_MODELVIEW_MATRIX));
      break;
  }
  switch (transform) {
    case MatrixTransform::Identity: break;
    case MatrixTransform::Transpose: m = transpose(m); break;
    case MatrixTransform::Inverse: m = inverse(m); break;
    case MatrixTransform::InverseTranspose: m = transpose(inverse(m)); break;
  }
  glProgramUniformMatrix4fv(program, handle, 1, GL_FALSE, m.data());
}

// [SECTION] ShaderManager

ShaderManager& ShaderManager::instance() {
  static ShaderManager manager;
  return manager;
}

ShaderManager::ShaderManager() { glGenProgramPipelines(1, &pipeline); }

void ShaderManager::useStage(GLenum shaderType, GLuint program) {
  const bool vertex = shaderType == GL_VERTEX_SHADER;
  (vertex ? vertexStage : fragmentStage) = program;
  glUseProgramStages(pipeline, vertex ? GL_VERTEX_SHADER_BIT : GL_FRAGMENT_SHADER_BIT, program);
  glBindProgramPipeline(vertexStage != 0 || fragmentStage != 0 ? pipeline : 0);
}

ShaderManager::~ShaderManager() {
  // GL objects go with the context at exit; only the wrappers are freed here.
  for (auto& [name, entry] : programs) delete entry.program;
  programs.clear();
}

ShaderProgram* ShaderManager::findProgram(const std::string& name) {
  auto it = programs.find(name);
  if (it == programs.end()) return nullptr;
  ++it->second.useCount;
  return it->second.program;
}

int ShaderManager::addProgram(const std::string& name, ShaderProgram* program) {
  if (!program) return 1;
  auto it = programs.find(name);
  if (it == programs.end()) {
    programs.emplace(name, Entry{program, 1});
    return 0;
  }
  if (it->second.program != program) return 1;
  ++it->second.useCount;
  return 0;
}

int ShaderManager::useCount(const std::string& name) const {
  auto it = programs.find(name);
  return it == programs.end() ? 0 : it->second.useCount;
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
  std::string text = ShaderManager::instance().takePendingError();
  if (text.empty()) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    text = glErrorName(error);
  }
  reportErrorText(sourceFile, line, "CG error", text.c_str(), true);
}
