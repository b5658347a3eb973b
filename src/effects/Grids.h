#pragma once
// Animated grids.
//   GridWater  drops of water fall one after another onto a tiled floor: each adds a
//              growing blob to a 64 × 64 field, and where the field is over 5 the marching
//              cubes make a mesh drawn with the tile texture and its normal map
//   GridExp    a 50 × 50 textured vertex grid in perspective, deformed by one of four
//              modes; its texture is another effect rendered into a target, or a picture
//
// Index: [SECTION] GridWater · GridExp

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "demoSystem/Effect.h"
#include "resources/RenderTarget.h"

class Texture;

// [SECTION] GridWater

class GridWater : public Effect {
 public:
  static constexpr int kSize = 64;
  static constexpr int kSlabs = 4;
  static constexpr int kVertexCapacity = 65536;
  static constexpr float kIsoLevel = 5.0f;

  // The field and the drop are one for the whole program, shared by every GridWater.
  struct Shared {
    std::vector<float> current = std::vector<float>(kSize * kSize, 0.0f);
    std::vector<float> field = std::vector<float>(kSize * kSize * kSlabs, 0.0f);  // slab 0 first
    float dropRow = 0, dropCol = 0, strength = 0, target = 0;
    bool newDrop = true;
    std::vector<float> vertices = std::vector<float>(3 * size_t(kVertexCapacity));
    int vertexCount = 0;
  };
  static Shared& shared();

  // Loads "data/textures/fliser.jpg" and "data/textures/fliser_normal.png".
  explicit GridWater(const std::string& name);
  // Clears the drop's contribution and the field (no base start).
  void start(uint32_t time) override;
  void render(uint32_t time) override;
  // The drop grows by a step per drawn frame of any instance and draws random numbers; a
  // start clears the field but not the drop.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // One step of the growing drop (what each render does first).
  static void dropUpdate();
  // The mesh of the field as it stands, into the shared vertices; returns the count.
  static int polygonise();

 private:
  Texture* tileTexture = nullptr;
  Texture* tileNormalTexture = nullptr;
};

// [SECTION] GridExp

class GridExp : public Effect {
 public:
  static constexpr int kN = 50;
  static constexpr int kTargetSize = 512;

  struct Vertex {
    float base[3];
    float position[3];
    float baseTex[2];
    float tex[2];
    float colour[4];
  };

  explicit GridExp(const std::string& name);
  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  // Code 4 loads the picture named by the event's text as the grid texture.
  void handleEvent(const TimelineEvent& event) override;
  // Some modes move only part of each vertex: the rest stays as earlier frames left it.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // The deformation of mode `mode` with a = 0.05 × scaledTime (what render runs).
  void animate(uint32_t mode, float a);
  // Current positions and texture coordinates back to the base ones.
  void resetGrid();

  FloatVariable Red, Green, Blue, Alpha;
  IntVariable Anim;
  BoolVariable Rotate, Blend, Shade;
  FloatVariable ampX, ampY, ampZ, magicStrength, magic1, magic2, magic3, magic4, magic5;

  std::vector<Vertex> grid;            // kN × kN, row by row
  std::vector<uint16_t> stripIndices;  // 2 kN per strip, kN − 1 strips
  bool shadeOn = false;
  Texture* pictureTexture = nullptr;

 private:
  RenderTarget target;
};
