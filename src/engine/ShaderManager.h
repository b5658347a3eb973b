#pragma once
// Shader programs and their process-wide cache. Programs are GLSL separable programs: a
// shader file keeps the ".cg" name that scripts and effects use for it but holds GLSL
// (compatibility profile), compiles with glCreateShaderProgramv, and bind() installs it on
// its stage of the one program pipeline of the process, so the other stage keeps
// fixed-function processing. Named parameters are uniforms; a handle is the uniform
// location and -1 is the null handle every setter skips.
//
// Texture units of samplers: diffuseMap 0, envMap 1, lightMap 1, glossMap 2 (where the
// drawing code binds them); any other sampler whose name ends in a digit N (for example
// "image0", "depthInfo1") reads unit N, and the rest read unit 0.

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/NamedCache.h"

class VertexProgram;
class FragmentProgram;

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

class ShaderManager {
 public:
  // The single manager, created on first call (the GL context must exist by then): it
  // creates the process's program pipeline.
  static ShaderManager& instance();

  // The cached program of that file name with its use count + 1, or null.
  ShaderProgram* findProgram(const std::string& name);
  // 0 when added or already cached with this program (use count + 1); 1 for a null program
  // or a name that holds another program (the cache is left unchanged).
  int addProgram(const std::string& name, ShaderProgram* program);
  // Users of a cached name, 0 when not cached (for tests).
  int useCount(const std::string& name) const;
  // Authoring: takes out of the cache every program read from one of `changedFiles`
  // (compared by dataFileKey) and every program that did not compile, so that the next
  // request reads and compiles the file again, and hands them over: effects that still hold
  // them keep working until the caller lets go.
  std::vector<std::unique_ptr<ShaderProgram>> releasePrograms(const std::vector<std::string>& changedFiles);

  GLuint getPipeline() const { return pipeline; }
  // Installs `program` (0: none) on the stage of `shaderType`. The pipeline is bound only
  // while one of its stages holds a program: a bound pipeline without any makes the driver
  // refuse fixed-function draws, where an unbound one leaves both stages fixed-function.
  void useStage(GLenum shaderType, GLuint program);

  // The pending driver error (what cgGetError was): a failed compile or link stores the
  // info log here; checkCgError reports and clears it.
  void setPendingError(const std::string& text) { pendingError = text; }
  std::string takePendingError();

 private:
  ShaderManager();

  NamedCache<ShaderProgram> programs;
  GLuint pipeline = 0;
  GLuint vertexStage = 0;
  GLuint fragmentStage = 0;
  std::string pendingError;
};

// The loaded, shared program of a shader file, loaded on the first request (the program
// enters the cache before it is loaded, so the file is read once).
VertexProgram* getVertexProgram(const std::string& fileName);
FragmentProgram* getFragmentProgram(const std::string& fileName);

// Fatal "CG error" with the driver's text when a compile or link failed. Any other pending
// GL error was left by other drawing: it is drained and reported on stderr, not fatal.
void checkCgError(const char* sourceFile, int line);
