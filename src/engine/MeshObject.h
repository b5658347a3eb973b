#pragma once
// The drawable triangle mesh of a scene: positions, normals, up to two texture-coordinate
// sets and 16-bit triangle indices, bound to one Material of its scene by id and optionally
// to a vertex/fragment program pair. The loader hands over the geometry; bindToScene
// resolves the material and builds the flat arrays (and vertex buffers) once; the scene's
// passes call the draw hooks.
//
// A vertex program of a mesh that receives a spot shadow must place vertices exactly as the
// fixed-function transform does (ftransform()): the shadow's apply pass draws the mesh
// again without it and keeps only pixels of equal depth.
//
// Per frame the mesh computes what its material asks for from the current modelview:
// reflection coordinates (sphere-map style, from eye-space normals), eye-space normals as
// colours and eye-space light vectors for the DOT3 models, and the program factors.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/KeyedValue.h"
#include "engine/SceneObject.h"

class Light;
class VertexProgram;
class FragmentProgram;

// The four keyed factors of one program: 1 until keyed, then the timeline's float
// variables (linear between keys; the first key fills the demo up to its end, so a later
// key is a breakpoint the value ramps to and away from), made by the scene's source.
class FactorKeys {
 public:
  FactorKeys() = default;
  FactorKeys(const FactorKeys& other);  // copies the keys
  FactorKeys& operator=(const FactorKeys&) = delete;
  ~FactorKeys();

  // Keys all four at `time`; the first key makes the values in `source`.
  void setKey(KeyedValueSource& source, uint32_t time, const std::array<float, 4>& values);
  float evaluate(size_t index, uint32_t time);
  bool keyed() const { return values[0] != nullptr; }

 private:
  std::array<std::unique_ptr<KeyedValue>, 4> values;
};

// The arrays built once from the loader's geometry; clones share them.
struct MeshGeometry {
  MeshGeometry() = default;
  ~MeshGeometry();  // deletes the buffers
  MeshGeometry(const MeshGeometry&) = delete;
  MeshGeometry& operator=(const MeshGeometry&) = delete;

  std::vector<uint16_t> indices;  // 3 per face
  std::vector<glm::vec3> positions;
  std::vector<glm::vec3> normals;
  std::vector<glm::vec2> texArray1;  // only when the material uses them
  std::vector<glm::vec2> texArray2;
  GLuint positionBuffer = 0;
  GLuint normalBuffer = 0;
  GLuint texBuffer1 = 0;
  GLuint texBuffer2 = 0;
  GLuint indexBuffer = 0;
};

class MeshObject : public SceneObject {
 public:
  MeshObject(int id, const std::string& name);
  ~MeshObject() override;

  // The loader's geometry: vertex i uses normal i and texture coordinates i of each set
  // (any of these lists may be empty); faces are vertex index triples.
  void setGeometry(std::vector<glm::vec3> vertices, std::vector<glm::vec3> normals,
                   std::vector<glm::vec2> texCoords1, std::vector<glm::vec2> texCoords2,
                   std::vector<glm::vec4> colours, std::vector<std::array<int, 3>> faces);
  void setMaterialId(int id) { materialId = id; }
  int getMaterialId() const { return materialId; }

  // [SECTION] SceneObject operations
  void animate(int frame, float fraction) override;
  // Resolves the material and the shading light, builds the arrays; then the subtree and
  // the siblings. A material id the scene does not hold is the fatal "No Material for mesh".
  void bindToScene(Scene* scene) override;
  void setCastShadows(bool on, bool intoChildren, bool intoSiblings) override;
  void setPassFlag(bool on, bool intoChildren, bool intoSiblings) override;
  void setVertexProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) override;
  void setFragmentProgram(const std::string& fileName, bool intoChildren, bool intoSiblings) override;
  void setMaterial(Material* material) override;
  Material* getMaterial() const override { return material; }
  void setShadeModel(int model) override;
  // Keys the four factors at a demo time; the mesh evaluates them at the scene's demo time.
  // The keyed values come from the scene's source (Scene::setKeyedValueSource): keying a
  // mesh whose scene has none is a fatal assertion.
  void setFragmentFactorKey(uint32_t time, float f0, float f1, float f2, float f3) override;
  void setVertexFactorKey(uint32_t time, float f0, float f1, float f2, float f3) override;
  void drawGeometry() override;
  bool takesLitPassShadow() const override { return true; }
  void drawShadowGeometry() override;
  void drawDepthGeometry() override;
  // Builds the flat arrays (and buffers) for the material; once. "Geometry input is broken"
  // (fatal) when a normal or texture-coordinate list does not match the vertices; indices
  // beyond the vertices or beyond 16 bits are a fatal assertion.
  virtual void buildArrays();

  // [SECTION] For the passes and the tests
  int getVertexCount() const { return vertexCount; }
  int getFaceCount() const { return faceCount; }
  const MeshGeometry* getGeometry() const { return geometry.get(); }
  const std::vector<glm::vec2>& getReflectionCoords() const { return reflectionCoords; }
  const std::vector<glm::vec3>& getCubeCoords() const { return cubeCoords; }
  const std::vector<glm::vec4>& getLightColours() const { return lightColours; }
  VertexProgram* getVertexProgram() const { return vertexProgram; }
  FragmentProgram* getFragmentProgram() const { return fragmentProgram; }
  const std::array<float, 4>& getFragmentFactors() const { return fragmentFactors; }
  const std::array<float, 4>& getVertexFactors() const { return vertexFactors; }
  Scene* getScene() const { return scene; }

  bool noShadowPass = false;  // left out of the shadow receiver pass
  bool castShadows = false;   // drawn by the shadow receiver pass
  bool receivesShadow() const { return castShadows && !noShadowPass; }
  // The last main-pass draw darkened the mesh by the spot shadow itself (LitPassShadow), so
  // the apply pass leaves it out.
  bool shadowInLitPass = false;
  bool passFlag = false;      // stored only
  // Static geometry goes into vertex buffers (GL 1.5 or ARB_vertex_buffer_object, asked at
  // construction); false draws from client arrays.
  bool hasVertexBuffers = false;
  Light* shadingLight = nullptr;  // its colours modulate the material's for the programs
  Light* spotLight = nullptr;     // the light "Spot01", stored only

 protected:
  MeshObject(const MeshObject&) = default;
  std::unique_ptr<SceneObject> copyNode() const override;

 private:
  // Which array feeds the texture coordinates of a unit.
  enum class Coords { None, Set1, Set2, Reflection, Cube };

  // The first coordinate set, once a material that had no use for it takes it up.
  void buildLateTexArray1();
  KeyedValueSource& keyedValueSource() const;
  void computeFrameArrays();
  std::array<Coords, 3> coordinatePlan() const;
  void bindPositions() const;
  void bindNormals() const;
  void bindCoords(int unit, Coords source) const;
  void drawElements() const;
  void drawFixedFunction();
  void drawProgrammable();
  // Binds the fragment program with its parameters, and the gloss map on unit 2 when the
  // program reads one; the caller keeps what unit 2 held (see drawGeometry).
  void bindFragmentProgram();

  Scene* scene = nullptr;
  int vertexCount = 0;
  int faceCount = 0;
  // The loader's geometry, released by buildArrays (the first coordinates only once used).
  std::vector<glm::vec3> vertices;
  std::vector<glm::vec3> normals;
  std::vector<glm::vec2> texCoords1;
  std::vector<glm::vec2> texCoords2;
  std::vector<std::array<int, 3>> faces;
  std::vector<glm::vec4> vertexColours;  // kept; no draw path reads them

  std::shared_ptr<MeshGeometry> geometry;
  std::vector<glm::vec2> reflectionCoords;
  std::vector<glm::vec3> cubeCoords;
  std::vector<glm::vec4> lightColours;

  Material* material = nullptr;
  int materialId = 0;
  VertexProgram* vertexProgram = nullptr;
  FragmentProgram* fragmentProgram = nullptr;
  FactorKeys fragmentFactorKeys;
  std::array<float, 4> fragmentFactors{1.0f, 1.0f, 1.0f, 1.0f};
  FactorKeys vertexFactorKeys;
  std::array<float, 4> vertexFactors{1.0f, 1.0f, 1.0f, 1.0f};
};
