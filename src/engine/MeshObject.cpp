#include "engine/MeshObject.h"

#include <algorithm>
#include <cmath>

#include "base/Error.h"
#include "base/FrameStats.h"
#include "engine/FragmentProgram.h"
#include "engine/LitPassShadow.h"
#include "engine/Scene.h"
#include "engine/SceneRenderer.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/Texture.h"

// Index
// [SECTION] FactorKeys
// [SECTION] Geometry and arrays
// [SECTION] Scene operations
// [SECTION] Per-frame arrays
// [SECTION] Array binding
// [SECTION] The main pass
// [SECTION] Shadow and depth draws

namespace {

void selectUnit(int unit) {
  glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
  glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
}

GLuint makeBuffer(GLenum target, const void* data, size_t bytes) {
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(target, buffer);
  glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
  glBindBuffer(target, 0);
  return buffer;
}

template <class T>
GLuint makeArrayBuffer(const std::vector<T>& data) {
  return data.empty() ? 0 : makeBuffer(GL_ARRAY_BUFFER, data.data(), data.size() * sizeof(T));
}

GLenum enableTarget(const Texture& texture) {
  return texture.getTarget() == GL_DEPTH_COMPONENT ? GL_TEXTURE_2D : texture.getTarget();
}

}  // namespace

// [SECTION] FactorKeys

FactorKeys::FactorKeys(const FactorKeys& other) {
  for (size_t i = 0; i < values.size(); ++i)
    if (other.values[i]) values[i] = other.values[i]->clone();
}

FactorKeys::~FactorKeys() = default;

void FactorKeys::setKey(KeyedValueSource& source, uint32_t time, const std::array<float, 4>& keyValues) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) values[i] = source.make(1.0f);
    values[i]->setKey(keyValues[i], time);
  }
}

float FactorKeys::evaluate(size_t index, uint32_t time) {
  return values[index] ? values[index]->evaluate(time) : 1.0f;
}

// [SECTION] Geometry and arrays

MeshGeometry::~MeshGeometry() {
  const GLuint buffers[] = {positionBuffer, normalBuffer, texBuffer1, texBuffer2, indexBuffer};
  for (GLuint buffer : buffers)
    if (buffer != 0) glDeleteBuffers(1, &buffer);
}

MeshObject::MeshObject(int id, const std::string& name) : SceneObject(id, name) {
  hasVertexBuffers = epoxy_gl_version() >= 15 || epoxy_has_gl_extension("GL_ARB_vertex_buffer_object");
}

MeshObject::~MeshObject() = default;

std::unique_ptr<SceneObject> MeshObject::copyNode() const {
  return std::unique_ptr<SceneObject>(new MeshObject(*this));
}

void MeshObject::setGeometry(std::vector<glm::vec3> vertexList, std::vector<glm::vec3> normalList,
                             std::vector<glm::vec2> texCoordList1, std::vector<glm::vec2> texCoordList2,
                             std::vector<glm::vec4> colours, std::vector<std::array<int, 3>> faceList) {
  vertices = std::move(vertexList);
  normals = std::move(normalList);
  texCoords1 = std::move(texCoordList1);
  texCoords2 = std::move(texCoordList2);
  vertexColours = std::move(colours);
  faces = std::move(faceList);
  vertexCount = static_cast<int>(vertices.size());
  faceCount = static_cast<int>(faces.size());
}

void MeshObject::buildArrays() {
  if (geometry || !material) return;
  const size_t count = vertices.size();
  vertexCount = static_cast<int>(count);
  const auto broken = [count](size_t n) { return n != 0 && n != count; };
  if (broken(normals.size()) || broken(texCoords1.size()) || broken(texCoords2.size()))
    reportError(DE_HERE, "Geometry input is broken", true);

  auto built = std::make_shared<MeshGeometry>();
  built->indices.reserve(faces.size() * 3);
  for (const auto& face : faces) {
    for (const int index : face) {
      // 16-bit indices, and nothing beyond the vertex list (the arrays end there).
      assertTrue(index >= 0 && index < 65536, DE_HERE);
      assertTrue(static_cast<size_t>(index) < count, DE_HERE);
      built->indices.push_back(static_cast<uint16_t>(index));
    }
  }
  built->positions = vertices;
  if (count > 0) {
    boundsMin = boundsMax = vertices[0];
    for (const glm::vec3& p : vertices) {
      boundsMin = glm::min(boundsMin, p);
      boundsMax = glm::max(boundsMax, p);
    }
    boundsKnown = !built->indices.empty();
  }
  built->normals = normals.empty() ? std::vector<glm::vec3>(count, glm::vec3(0.0f)) : normals;
  if (!texCoords1.empty() && material->usesTextureCoordinates()) built->texArray1 = texCoords1;
  if (!texCoords2.empty() && material->usesLightMapCoordinates()) built->texArray2 = texCoords2;
  if (material->needsReflectionCoordinates()) reflectionCoords.assign(count, glm::vec2(0.0f));
  if (material->getNormalMap()) cubeCoords.assign(count, glm::vec3(0.0f));
  if (material->needsLightVectorColours()) lightColours.assign(count, glm::vec4(1.0f));

  if (hasVertexBuffers) {
    built->positionBuffer = makeArrayBuffer(built->positions);
    built->normalBuffer = makeArrayBuffer(built->normals);
    built->texBuffer1 = makeArrayBuffer(built->texArray1);
    built->texBuffer2 = makeArrayBuffer(built->texArray2);
    if (!built->indices.empty())
      built->indexBuffer = makeBuffer(GL_ELEMENT_ARRAY_BUFFER, built->indices.data(),
                                      built->indices.size() * sizeof(uint16_t));
  }
  geometry = std::move(built);
  // The loader's lists are not needed again, except first coordinates the material does not
  // use yet: a source render target given later (shade model 13) draws with them.
  vertices = {};
  normals = {};
  if (!geometry->texArray1.empty()) texCoords1 = {};
  texCoords2 = {};
  faces = {};
}

void MeshObject::buildLateTexArray1() {
  if (texCoords1.empty() || !geometry->texArray1.empty() || !material->usesTextureCoordinates()) return;
  geometry->texArray1 = std::move(texCoords1);
  texCoords1 = {};
  if (hasVertexBuffers) geometry->texBuffer1 = makeArrayBuffer(geometry->texArray1);
}

// [SECTION] Scene operations

void MeshObject::animate(int frame, float fraction) {
  SceneObject::animate(frame, fraction);
  const uint32_t time = scene ? scene->getDemoTime() : 0;
  // The factors follow the music: the spectrum level scales them (1 without a spectrum).
  const float gain = spectrumLevel * 0.4f;
  if (fragmentProgram)
    for (size_t i = 0; i < 4; ++i) fragmentFactors[i] = fragmentFactorKeys.evaluate(i, time) * gain;
  if (vertexProgram)
    for (size_t i = 0; i < 4; ++i) vertexFactors[i] = vertexFactorKeys.evaluate(i, time) * gain;
}

void MeshObject::bindToScene(Scene* owner) {
  scene = owner;
  shadingLight = owner->selectedLightObject();
  spotLight = owner->findLight("Spot01");
  material = owner->material(materialId);
  if (!material) reportErrorText(DE_HERE, "No Material for mesh", name.c_str(), true);
  buildArrays();
  SceneObject::bindToScene(owner);
}

void MeshObject::setCastShadows(bool on, bool intoChildren, bool intoSiblings) {
  castShadows = on;
  SceneObject::setCastShadows(on, intoChildren, intoSiblings);
}

void MeshObject::setPassFlag(bool on, bool intoChildren, bool intoSiblings) {
  passFlag = on;
  SceneObject::setPassFlag(on, intoChildren, intoSiblings);
}

void MeshObject::setVertexProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) {
  vertexProgram = fileName.empty() ? nullptr : ::getVertexProgram(fileName);
  SceneObject::setVertexProgram(fileName, intoChildren, intoSiblings);
}

void MeshObject::setFragmentProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) {
  fragmentProgram = fileName.empty() ? nullptr : ::getFragmentProgram(fileName);
  SceneObject::setFragmentProgram(fileName, intoChildren, intoSiblings);
}

void MeshObject::setMaterial(Material* newMaterial) {
  material = newMaterial;
  if (material) materialId = material->getId();
  SceneObject::setMaterial(newMaterial);
}

void MeshObject::setShadeModel(int model) {
  if (material) material->setShadeModel(model);
  SceneObject::setShadeModel(model);
}

KeyedValueSource& MeshObject::keyedValueSource() const {
  KeyedValueSource* source = scene ? scene->getKeyedValueSource() : nullptr;
  // Keyed factors follow the timeline's variables, which the scene's owner hands in.
  assertNotNull(source, DE_HERE);
  return *source;
}

void MeshObject::setFragmentFactorKey(uint32_t time, float f0, float f1, float f2, float f3) {
  fragmentFactorKeys.setKey(keyedValueSource(), time, {f0, f1, f2, f3});
}

void MeshObject::setVertexFactorKey(uint32_t time, float f0, float f1, float f2, float f3) {
  vertexFactorKeys.setKey(keyedValueSource(), time, {f0, f1, f2, f3});
}

// [SECTION] Per-frame arrays

void MeshObject::computeFrameArrays() {
  if (reflectionCoords.empty() && lightColours.empty() && cubeCoords.empty()) return;
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  const std::vector<glm::vec3>& positions = geometry->positions;
  const std::vector<glm::vec3>& normalList = geometry->normals;
  const size_t count = positions.size();

  // Sphere-map style coordinates from the eye-space normal's x and y.
  if (!reflectionCoords.empty()) {
    for (size_t i = 0; i < count; ++i) {
      const glm::vec3& n = normalList[i];
      reflectionCoords[i] = glm::vec2((n.x * m[0] + n.y * m[4] + n.z * m[8] + 1.0f) * 0.5f,
                                      (n.x * m[1] + n.y * m[5] + n.z * m[9] + 1.0f) * 0.5f);
    }
  }
  // The eye-space normal packed into a colour, the primary colour the DOT3 stage reads.
  if (!lightColours.empty()) {
    for (size_t i = 0; i < count; ++i) {
      const glm::vec3& n = normalList[i];
      lightColours[i] = glm::vec4((n.x * m[0] + n.y * m[4] + n.z * m[8] + 1.0f) * 0.5f,
                                  (n.x * m[1] + n.y * m[5] + n.z * m[9] + 1.0f) * 0.5f,
                                  (n.x * m[2] + n.y * m[6] + n.z * m[10] + 1.0f) * 0.5f, 1.0f);
    }
  }
  // The eye-space vector from each vertex to the shading light, which the normalisation
  // cube map turns into a unit vector packed as a colour. GL keeps light positions in eye
  // space, as the camera placed them.
  if (!cubeCoords.empty()) {
    glm::vec4 light(0.0f, 0.0f, 1.0f, 0.0f);
    if (shadingLight && shadingLight->glLight()) glGetLightfv(shadingLight->glLight(), GL_POSITION, &light.x);
    const glm::mat4 modelview = demo_math::fromGl(m);
    for (size_t i = 0; i < count; ++i) {
      const glm::vec3 eye = glm::vec3(modelview * glm::vec4(positions[i], 1.0f));
      cubeCoords[i] = light.w == 0.0f ? glm::vec3(light) : glm::vec3(light) / light.w - eye;
    }
  }
}

// [SECTION] Array binding

std::array<MeshObject::Coords, 3> MeshObject::coordinatePlan() const {
  const bool set1 = !geometry->texArray1.empty();
  const bool set2 = !geometry->texArray2.empty();
  const bool reflection = !reflectionCoords.empty();
  const bool cube = !cubeCoords.empty();
  std::array<Coords, 3> plan{Coords::None, Coords::None, Coords::None};
  if (set1) plan[0] = Coords::Set1;
  if (set2) plan[1] = Coords::Set2;
  if (reflection && !cube) plan[1] = Coords::Reflection;
  if (cube) {
    plan[1] = Coords::Cube;
    plan[2] = reflection ? Coords::Reflection : set1 ? Coords::Set1 : Coords::None;
  }
  if (material->hasMoreLight() && set2 && plan[2] == Coords::None) plan[2] = Coords::Set2;
  // Models 2 and 3 bind the reflection map, and model 6 the light map, on unit 0: their
  // coordinates go with them there.
  const int model = material->getShadeModel();
  if ((model == 2 || model == 3) && reflection) {
    plan[0] = Coords::Reflection;
    plan[1] = Coords::None;
  }
  if (model == 6 && set2) {
    plan[0] = Coords::Set2;
    plan[1] = Coords::None;
  }
  return plan;
}

void MeshObject::bindPositions() const {
  glEnableClientState(GL_VERTEX_ARRAY);
  if (hasVertexBuffers) {
    glBindBuffer(GL_ARRAY_BUFFER, geometry->positionBuffer);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  } else {
    glVertexPointer(3, GL_FLOAT, 0, geometry->positions.data());
  }
}

void MeshObject::bindNormals() const {
  glEnableClientState(GL_NORMAL_ARRAY);
  if (hasVertexBuffers) {
    glBindBuffer(GL_ARRAY_BUFFER, geometry->normalBuffer);
    glNormalPointer(GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  } else {
    glNormalPointer(GL_FLOAT, 0, geometry->normals.data());
  }
}

void MeshObject::bindCoords(int unit, Coords source) const {
  if (source == Coords::None) return;
  glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  const auto fromBuffer = [this](GLuint buffer, const std::vector<glm::vec2>& data) {
    if (hasVertexBuffers) {
      glBindBuffer(GL_ARRAY_BUFFER, buffer);
      glTexCoordPointer(2, GL_FLOAT, 0, nullptr);
      glBindBuffer(GL_ARRAY_BUFFER, 0);
    } else {
      glTexCoordPointer(2, GL_FLOAT, 0, data.data());
    }
  };
  switch (source) {
    case Coords::Set1: fromBuffer(geometry->texBuffer1, geometry->texArray1); break;
    case Coords::Set2: fromBuffer(geometry->texBuffer2, geometry->texArray2); break;
    case Coords::Reflection: glTexCoordPointer(2, GL_FLOAT, 0, reflectionCoords.data()); break;
    case Coords::Cube: glTexCoordPointer(3, GL_FLOAT, 0, cubeCoords.data()); break;
    case Coords::None: break;
  }
}

void MeshObject::drawElements() const {
  const GLsizei count = static_cast<GLsizei>(geometry->indices.size());
  if (hasVertexBuffers && geometry->indexBuffer != 0) {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, geometry->indexBuffer);
    glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  } else {
    glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, geometry->indices.data());
  }
}

// [SECTION] The main pass

void MeshObject::drawGeometry() {
  if (faceCount == 0) return;
  if (!material) reportErrorText(DE_HERE, "Mesh has no material", name.c_str(), true);
  // A mesh given its material directly (not through a scene) builds its arrays now.
  if (!geometry) buildArrays();
  LitPassShadow* shadow = LitPassShadow::active();
  shadowInLitPass = false;
  if (vertexProgram) {
    if (shadow && receivesShadow()) shadow->leaveForApplyPass();
    drawProgrammable();
    return;
  }
  buildLateTexArray1();
  computeFrameArrays();
  const bool applied = material->use();
  if (shadow) shadowInLitPass = shadow->serve(*material, applied, receivesShadow(), !fragmentProgram);
  // The gloss map goes on unit 2 over what the material may have there (the next mesh that
  // shares the material draws with the material's unit 2 again).
  const bool glossMap = fragmentProgram && fragmentProgram->glossMap >= 0 && material->getGlossMap();
  if (glossMap) glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
  if (fragmentProgram) bindFragmentProgram();
  drawFixedFunction();
  if (fragmentProgram) fragmentProgram->unbind();
  if (glossMap) glPopAttrib();
}

void MeshObject::drawFixedFunction() {
  bindPositions();
  if (material->isLit()) bindNormals();
  if (material->hasCubeTexGen()) {
    glActiveTexture(GL_TEXTURE0);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
    glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
  }
  // Only arrays that exist are enabled: a material without a diffuse map has no first
  // coordinate set, whatever unit would take it.
  const std::array<Coords, 3> plan = coordinatePlan();
  for (int unit = 0; unit < 3; ++unit) bindCoords(unit, plan[static_cast<size_t>(unit)]);
  const int model = material->getShadeModel();
  const bool colours = !lightColours.empty() && (model == 7 || model == 8);
  if (colours) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, 0, lightColours.data());
  }

  RenderStats::add(static_cast<uint32_t>(faceCount));
  drawElements();

  for (int unit = 2; unit >= 0; --unit) {
    if (plan[static_cast<size_t>(unit)] == Coords::None) continue;
    glClientActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glClientActiveTexture(GL_TEXTURE0);
  if (material->hasCubeTexGen()) {
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
  }
  if (colours) glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void MeshObject::bindFragmentProgram() {
  fragmentProgram->bind();
  if (scene) {
    if (const Camera* camera = scene->activeCameraObject())
      fragmentProgram->setParameter4f(fragmentProgram->depthPlanes, camera->focalNear, camera->focalPoint,
                                      camera->focalFar, camera->focalClamp);
  }
  fragmentProgram->setParameter4fv(fragmentProgram->factors, fragmentFactors.data());
  Texture* gloss = material->getGlossMap();
  if (fragmentProgram->glossMap < 0 || !gloss) return;
  glActiveTexture(GL_TEXTURE2);
  glEnable(GL_TEXTURE_2D);
  gloss->bind();
  glActiveTexture(GL_TEXTURE0);
}

void MeshObject::drawProgrammable() {
  // The programs' textures are bound over the material in effect, if any; its state comes
  // back afterwards, since the next mesh that shares it does not apply it again.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
  if (const LitPassShadow* shadow = LitPassShadow::active()) shadow->suspend();
  // Textures on the units the programs' samplers read: diffuse 0, reflection the next one.
  Texture* diffuseMap = material->getDiffuseMap();
  Texture* reflectionMap = material->getReflectionMap();
  const int reflectionUnit = diffuseMap ? 1 : 0;
  if (diffuseMap) {
    glActiveTexture(GL_TEXTURE0);
    glEnable(enableTarget(*diffuseMap));
    diffuseMap->bind();
  }
  if (reflectionMap) {
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + reflectionUnit));
    glEnable(enableTarget(*reflectionMap));
    reflectionMap->bind();
  }
  glActiveTexture(GL_TEXTURE0);

  VertexProgram& vp = *vertexProgram;
  vp.bind();
  vp.setModelViewProj();
  vp.setModelViewIT();
  checkCgError(DE_HERE);
  const int lightCount = scene ? std::min(scene->lightCount(), 4) : 0;
  vp.setParameter1f(vp.numLights, static_cast<float>(lightCount));
  const GLint lightVecs[4] = {vp.LightVec0, vp.LightVec1, vp.LightVec2, vp.LightVec3};
  for (int i = 0; i < lightCount; ++i) {
    glm::vec3 p = scene->light(i)->getPosition();
    const float length = glm::length(p);
    if (length >= std::sqrt(0.00001f)) p /= length;
    vp.setParameter4f(lightVecs[i], p.x, p.y, p.z, 0.0f);
  }
  if (!shadingLight && scene) shadingLight = scene->findLight("Omni01");
  glm::vec4 ambient = material->ambient;
  glm::vec4 diffuse = material->diffuse;
  if (shadingLight) {
    ambient *= shadingLight->ambient;
    diffuse *= shadingLight->diffuse;
  }
  const glm::vec4 specular = material->specular * material->specularLevel;
  vp.setParameter4fv(vp.AmbientMaterial, glm::value_ptr(ambient));
  vp.setParameter4fv(vp.DiffuseMaterial, glm::value_ptr(diffuse));
  vp.setParameter4fv(vp.SpecularMaterial, glm::value_ptr(specular));
  const glm::vec3 where = getPosition();
  vp.setParameter4f(vp.ObjectPosWorldSpace, where.x, where.y, where.z, 1.0f);
  vp.setParameter4fv(vp.factors, vertexFactors.data());
  checkCgError(DE_HERE);

  if (fragmentProgram) bindFragmentProgram();

  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  bindPositions();
  bindNormals();
  const bool set1 = !geometry->texArray1.empty();
  if (set1) bindCoords(0, Coords::Set1);
  drawElements();
  if (set1) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);

  vp.unbind();
  if (fragmentProgram) fragmentProgram->unbind();
  glPopAttrib();
  selectUnit(0);
}

// [SECTION] Shadow and depth draws

void MeshObject::drawShadowGeometry() {
  // A mesh that took its shadow in the lit pass is done.
  if (!receivesShadow() || shadowInLitPass || faceCount == 0 || !geometry) return;
  // Positions only: the texture coordinates of the pass come from eye-linear generation.
  bindPositions();
  RenderStats::add(static_cast<uint32_t>(faceCount));
  drawElements();
  glDisableClientState(GL_VERTEX_ARRAY);
}

void MeshObject::drawDepthGeometry() {
  if (faceCount == 0 || !geometry) return;
  VertexProgram* program = SceneRenderer::instance().currentVertexProgram;
  const bool programmed = program && program->isBound();
  if (programmed) {
    program->setModelViewProj();
    const glm::vec3 where = getPosition();
    program->setParameter4f(program->ObjectPosWorldSpace, where.x, where.y, where.z, 0.0f);
  }
  bindPositions();
  // Normals only for the passes' programs; the fixed-function depth of the spot shadow map
  // has no use for them.
  const bool normals = programmed && hasVertexBuffers;
  if (normals) bindNormals();
  drawElements();
  if (normals) glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
