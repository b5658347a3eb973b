#include "engine/FragmentProgram.h"

#include "base/Error.h"

FragmentProgram::FragmentProgram(const std::string& fileName)
    : ShaderProgram(fileName, GL_FRAGMENT_SHADER) {}

void FragmentProgram::load() {
  checkCgError(DE_HERE);
  compile(DE_HERE);
  textureSize = getNamedParameter("textureSize");
  factors = getNamedParameter("factors");
  depthPlanes = getNamedParameter("depthPlanes");
  planeDist = getNamedParameter("planeDist");
  diffuseMap = getNamedParameter("diffuseMap");
  envMap = getNamedParameter("envMap");
  glossMap = getNamedParameter("glossMap");
  lightMap = getNamedParameter("lightMap");
  checkCgError(DE_HERE);
}
