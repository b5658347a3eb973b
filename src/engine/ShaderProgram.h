#pragma once
// Shader programs: GLSL separable programs standing where Cg programs were. A shader file
// keeps its ".cg" name but holds GLSL (compatibility profile), compiles with
// glCreateShaderProgramv, and bind() installs it on its stage of the one program pipeline of
// the process, so the other stage keeps fixed-function processing. Named parameters are
// uniforms; a handle is the uniform location and -1 is the null handle every setter skips.
//
// Texture units of samplers: diffuseMap 0, envMap 1, lightMap 1, glossMap 2 (where the
// drawing code binds them); any other sampler whose name ends in a digit N (for example
// "image0", "depthInfo1") reads unit N, and the rest read unit 0.

#include <epoxy/gl.h>

#include <string>

// The GL matrices a state-matrix parameter can take, and how they are transformed
// (cgGLSetStateMatrixParameter's CG_GL_*_MATRIX and CG_GL_MATRIX_*).
enum class StateMatrix { ModelView, Projection, Texture, ModelViewProjection };
enum class MatrixTransform { Identity, Transpose, Inverse, InverseTranspose };

// What VertexProgram and FragmentProgram share; the cache holds programs of either kind.
class ShaderProgram {
 public:
  virtual ~ShaderProgram() = default;
  ShaderProgram(const ShaderProgram&) = delete;
  ShaderProgram& operator=(const ShaderProgram&) = delete;

  // Reads the source through the data archive, compiles and links it, looks up the
  // parameters. Missing file: fatal "Shader file not found: "; driver errors: "CG error".
  virtual void load() = 0;
  // Installs the program on its stage of the pipeline / removes it again.
  void bind();
  void unbind();
  bool isBound() const { return bound; }

  GLuint getProgram() const { return program; }
  const std::string& getFileName() const { return fileName; }
  // The location of any uniform, -1 when the program does not declare it.
  GLint getNamedParameter(const char* name) const;

  // Setters (glProgramUniform*, the program need not be bound); a handle of -1 is skipped.
  void setParameter1f(GLint handle, float x) const;
  void setParameter4f(GLint handle, float x, float y, float z, float w) const;
  void setParameter4fv(GLint handle, const float* v) const;
  void setTextureUnit(GLint handle, int unit) const;
  // Reads the current GL matrix, transforms it and sets the mat4 uniform so that
  // `M * v` in GLSL is what `mul(M, v)` was in Cg.
  void setStateMatrixParameter(GLint handle, StateMatrix matrix, MatrixTransform transform) const;

 protected:
  ShaderProgram(const std::string& fileName, GLenum shaderType);
  // Steps shared by both loads; `sourceFile`/`line` name the caller's module in reports.
  void compile(const char* sourceFile, int line);
  void assignSamplerUnits() const;

  GLuint program = 0;
  std::string fileName;
  GLenum shaderType;  // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER
  bool bound = false;
};

// [SECTION] The program pipeline of the process and the pending error

// Installs `program` (0: none) on the stage of `shaderType` of the one program pipeline of
// the process (created on first use). The pipeline is bound only while one of its stages
// holds a program: a bound pipeline without any makes the driver refuse fixed-function
// draws, where an unbound one leaves both stages fixed-function.
void useProgramStage(GLenum shaderType, GLuint program);
GLuint programPipeline();

// The pending driver error (what cgGetError was): a failed compile or link stores the info
// log here; checkCgError reports and clears it.
void setPendingShaderError(const std::string& text);
std::string takePendingShaderError();

// Fatal "CG error" with the driver's text when a compile or link failed. Any other pending
// GL error was left by other drawing: it is drained and reported on stderr, not fatal.
void checkCgError(const char* sourceFile, int line);
