#include "engine/VertexProgram.h"

#include "base/Error.h"

VertexProgram::VertexProgram(const std::string& fileName)
    : ShaderProgram(fileName, GL_VERTEX_SHADER) {}

void VertexProgram::load() {
  compile(DE_HERE);
  ModelViewProj = getNamedParameter("ModelViewProj");
  ModelViewIT = getNamedParameter("ModelViewIT");
  Position = getNamedParameter("Position");
  Normal = getNamedParameter("Normal");
  ObjectPosWorldSpace = getNamedParameter("ObjectPosWorldSpace");
  numLights = getNamedParameter("numLights");
  LightVec0 = getNamedParameter("LightVec0");
  LightVec1 = getNamedParameter("LightVec1");
  LightVec2 = getNamedParameter("LightVec2");
  LightVec3 = getNamedParameter("LightVec3");
  AmbientMaterial = getNamedParameter("AmbientMaterial");
  DiffuseMaterial = getNamedParameter("DiffuseMaterial");
  SpecularMaterial = getNamedParameter("SpecularMaterial");
  factors = getNamedParameter("factors");
  NearDivFar = getNamedParameter("NearDivFar");
  checkCgError(DE_HERE);
}

void VertexProgram::setModelViewProj() const {
  setStateMatrixParameter(ModelViewProj, StateMatrix::ModelViewProjection, MatrixTransform::Identity);
}

void VertexProgram::setModelViewIT() const {
  setStateMatrixParameter(ModelViewIT, StateMatrix::ModelView, MatrixTransform::InverseTranspose);
}
