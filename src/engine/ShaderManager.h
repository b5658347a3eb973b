#pragma once
// The process-wide cache of shader programs: one program per shader file, shared by every
// effect and scene that names the file, with use counts; nothing is released before exit
// except what an authoring reload takes out (releasePrograms).

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

#include "base/NamedCache.h"
#include "engine/ShaderProgram.h"

class VertexProgram;
class FragmentProgram;

class ShaderManager {
 public:
  // The single manager, created on first call.
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

  // The process's program pipeline and its stages (ShaderProgram.h).
  GLuint getPipeline() const { return programPipeline(); }
  void useStage(GLenum shaderType, GLuint program) { useProgramStage(shaderType, program); }

  // The pending driver error (ShaderProgram.h).
  void setPendingError(const std::string& text) { setPendingShaderError(text); }
  std::string takePendingError() { return takePendingShaderError(); }

 private:
  ShaderManager();

  NamedCache<ShaderProgram> programs;
};

// The loaded, shared program of a shader file, loaded on the first request (the program
// enters the cache before it is loaded, so the file is read once).
VertexProgram* getVertexProgram(const std::string& fileName);
FragmentProgram* getFragmentProgram(const std::string& fileName);
