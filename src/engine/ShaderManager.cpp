#include "engine/ShaderManager.h"

#include <set>

#include "archive/FileRequests.h"
#include "base/Error.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"

// [SECTION] ShaderManager

ShaderManager& ShaderManager::instance() {
  // Never destroyed: the programs' GL objects cannot be deleted once the context is gone.
  static ShaderManager* manager = new ShaderManager;
  return *manager;
}

ShaderManager::ShaderManager() = default;

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

// [SECTION] Shared programs

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

