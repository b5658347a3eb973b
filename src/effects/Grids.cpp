#include "effects/Grids.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "base/Display.h"
#include "base/Error.h"
#include "base/Random.h"
#include "effects/MarchingCubes.h"
#include "effects/ScreenQuad.h"
#include "engine/FragmentProgram.h"
#include "engine/SceneObject.h"
#include "resources/Texture.h"

namespace {
constexpr int32_t kNoTable = Variable::kNoStringTable;
}

// [SECTION] GridWater

GridWater::Shared& GridWater::shared() {
  static Shared state;
  return state;
}

GridWater::GridWater(const std::string& name) : Effect(name) {
  TextureManager& textures = TextureManager::instance();
  tileTexture = textures.getTexture("data/textures/fliser.jpg", "", GL_TEXTURE_2D, 0);
  tileNormalTexture = textures.getTexture("data/textures/fliser_normal.png", "", GL_TEXTURE_2D, 0);
  shared();
}

void GridWater::start(uint32_t) {
  Shared& s = shared();
  std::fill(s.current.begin(), s.current.end(), 0.0f);
  std::fill(s.field.begin(), s.field.begin() + kSize * kSize, 0.0f);
}

void GridWater::dropUpdate() {
  Shared& s = shared();
  if (s.newDrop) {
    s.dropCol = static_cast<float>(demoRand()) / 32767.0f * 0.2f + 0.4f;
    s.strength = 0;
    s.dropRow = static_cast<float>(demoRand()) / 32767.0f * 0.2f + 0.4f;
    s.target = static_cast<float>(demoRand()) / 32767.0f * 0.05f + 0.1f;
    std::fill(s.current.begin(), s.current.end(), 0.0f);
    s.newDrop = false;
  }
  if (s.strength < s.target) s.strength += (s.target - s.strength) * 0.005f + 0.0005f;
  else s.newDrop = true;
  float r = 0;
  for (int i = 0; i < kSize; ++i, r += 1.0f / kSize) {
    float c = 0;
    for (int j = 0; j < kSize; ++j, c += 1.0f / kSize) {
      const size_t k = size_t(i * kSize + j);
      s.field[k] -= s.current[k];
      const float d = std::max(std::sqrt((s.dropRow - r) * (s.dropRow - r) + (s.dropCol - c) * (s.dropCol - c)), 0.001f);
      s.current[k] = s.strength / d;
      s.field[k] += s.current[k];
    }
  }
}

int GridWater::polygonise() {
  Shared& s = shared();
  static marching::Polygoniser polygoniser(kSize, kSize, kSlabs);
  marching::Volume volume;
  volume.values = s.field.data();
  volume.nx = volume.ny = kSize;
  volume.nz = kSlabs;
  volume.originX = volume.originY = kSize / 2;
  s.vertexCount = polygoniser.run(volume, kIsoLevel, {s.vertices.data(), nullptr, kVertexCapacity});
  return s.vertexCount;
}

void GridWater::render(uint32_t) {
  dropUpdate();
  Shared& s = shared();
  glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
  setOrthoUnit();
  glColor4f(1, 1, 1, 1);
  glDisable(GL_CULL_FACE);
  polygonise();
  setOrthoUnit();
  drawTexturedRectTex(tileTexture, {0, 0, 1, 1}, {0, 0, 5, 5});

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-16, 16, 16, -16, -1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor4f(1, 1, 1, 1);
  if (s.vertexCount > 0) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glColor4f(0.8f, 0.8f, 0.9f, 0.4f);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const Texture* units[2] = {tileTexture, tileNormalTexture};
    for (int unit = 0; unit < 2; ++unit) {
      glActiveTexture(GL_TEXTURE0 + GLenum(unit));
      glClientActiveTexture(GL_TEXTURE0 + GLenum(unit));
      if (units[unit]) units[unit]->bind();
      glEnable(GL_TEXTURE_2D);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, 3 * sizeof(float), s.vertices.data());
      glMatrixMode(GL_TEXTURE);
      glPushMatrix();
      glLoadIdentity();
      glScalef(0.15f, 0.15f, 0.15f);
      glTranslatef(16, 16, 0);
    }
    glMatrixMode(GL_MODELVIEW);
    if (fragmentProgram) fragmentProgram->bind();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, s.vertices.data());
    glDrawArrays(GL_TRIANGLES, 0, s.vertexCount);
    if (fragmentProgram) fragmentProgram->unbind();
    for (int unit = 1; unit >= 0; --unit) {
      glActiveTexture(GL_TEXTURE0 + GLenum(unit));
      glMatrixMode(GL_TEXTURE);
      glPopMatrix();
      glDisable(GL_TEXTURE_2D);
    }
    glMatrixMode(GL_MODELVIEW);
    glClientActiveTexture(GL_TEXTURE0);
    glPopClientAttrib();
  }
  glDisable(GL_BLEND);
  glPopAttrib();
}

// [SECTION] GridExp

GridExp::GridExp(const std::string& name) : Effect(name), grid(size_t(kN) * kN) {
  Red.value = Green.value = Blue.value = Alpha.value = 1;
  registerVariable(&Red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  registerVariable(&Green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  registerVariable(&Blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  registerVariable(&Alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
  Anim.choiceCount = 4;
  Anim.value = 3;
  registerVariable(&Anim, "Anim", kNoTable, Variable::kInteger, "wave formula: modes 0–3");
  Rotate.value = false;
  Blend.value = true;
  Shade.value = false;
  registerVariable(&Rotate, "Rotate", kNoTable, Variable::kBool, "spin the grid");
  registerVariable(&Blend, "Blend", kNoTable, Variable::kBool, "blend the grid over the picture");
  registerVariable(&Shade, "Shade", kNoTable, Variable::kBool, "shade vertices by height");
  ampX.value = 0.3f;
  ampY.value = 0.1f;
  ampZ.value = 0.2f;
  magicStrength.value = 0.3f;
  registerVariable(&ampX, "ampX", kNoTable, Variable::kFloat, "wave amplitude along x");
  registerVariable(&ampY, "ampY", kNoTable, Variable::kFloat, "wave amplitude along y");
  registerVariable(&ampZ, "ampZ", kNoTable, Variable::kFloat, "wave amplitude along z (height)");
  registerVariable(&magicStrength, "magicStrength", kNoTable, Variable::kFloat, "overall scale of the magic constants");
  const char* magicNames[5] = {"magic1", "magic2", "magic3", "magic4", "magic5"};
  FloatVariable* magics[5] = {&magic1, &magic2, &magic3, &magic4, &magic5};
  for (int k = 0; k < 5; ++k) {
    magics[k]->value = 0.4f;
    registerVariable(magics[k], magicNames[k], kNoTable, Variable::kFloat, "constant of the wave formulas");
  }
  registerEvent(4, "PICTURE", "loads the picture file named by the text onto the grid");
  Speed.value = 0.1f;

  for (int j = 0; j < kN; ++j)
    for (int k = 0; k < kN; ++k) {
      Vertex& v = grid[size_t(j * kN + k)];
      v.base[0] = -10 + static_cast<float>(k) * 20.0f / 49.0f;
      v.base[1] = -10 + static_cast<float>(j) * 20.0f / 49.0f;
      v.base[2] = 0;
      v.baseTex[0] = static_cast<float>(k) * 0.5f / 49.0f;
      v.baseTex[1] = static_cast<float>(j) * 0.7f / 49.0f;
      for (float& c : v.colour) c = 1;
    }
  resetGrid();
  for (int j = 0; j < kN - 1; ++j)
    for (int k = 0; k < kN; ++k) {
      stripIndices.push_back(static_cast<uint16_t>(j * kN + k));
      stripIndices.push_back(static_cast<uint16_t>((j + 1) * kN + k));
    }
  target.init(name, kTargetSize, kTargetSize, RenderTarget::kDepth);
}

void GridExp::resetGrid() {
  for (Vertex& v : grid) {
    std::copy(v.base, v.base + 3, v.position);
    std::copy(v.baseTex, v.baseTex + 2, v.tex);
  }
}

void GridExp::start(uint32_t time) {
  Effect::start(time);
  if (sourceEffect) sourceEffect->start(time);
}

void GridExp::update(uint32_t time) {
  Effect::update(time);
  if (sourceEffect) renderSourceToTarget(&target, time);
  shadeOn = Shade.evaluate(time) != 0;
}

void GridExp::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  if (event.code == 4)
    pictureTexture = TextureManager::instance().getTexture(event.text, "", GL_TEXTURE_2D, 0);
}

void GridExp::animate(uint32_t mode, float a) {
  const float n = kN;
  const auto at = [this](int i, int j) -> Vertex& { return grid[size_t(i * kN + j)]; };
  if (mode == 0) {
    const float b = 0.2f * a, alpha = 0.11111111f * a, gamma = 0.14285715f * a;
    for (int i = 1; i <= kN - 3; ++i) {
      const float e = static_cast<float>(i) / n;
      const float f = std::cos(std::sin(alpha) + 27 * e), g = std::sin(7 * e + b);
      for (int j = 1; j <= kN - 3; ++j) {
        Vertex& v = at(i, j);
        const float l = 10 * static_cast<float>(j) / n;
        const float x = (g + std::sin(b + 3 * l)) * 0.5f + v.base[0];
        const float y = std::cos(alpha + l) * 0.3f + v.base[1];
        const float z = (x * std::sin(27 * l + gamma) + f * y) * 0.2f;
        v.position[0] = x, v.position[1] = y, v.position[2] = z;
        v.colour[0] = v.colour[1] = v.colour[2] = z * 0.5f + 1;
        v.colour[3] = 1;
      }
    }
  } else if (mode == 1) {
    float c = std::sin(0.1f * a) * 0.5f;
    if (c < 0) c = 0.01f;
    const float reach = std::sqrt(n * n / 2);
    for (int i = 1; i <= kN - 3; ++i)
      for (int j = 1; j <= kN - 3; ++j) {
        Vertex& v = at(i, j);
        const float di = static_cast<float>(i - kN / 2), dj = static_cast<float>(j - kN / 2);
        float d = std::sqrt(di * di + dj * dj);
        d = d * std::sin(d * 3.14159265358979f / reach);
        const float z = -d * d * c;
        v.position[0] = v.base[0], v.position[1] = v.base[1], v.position[2] = z;
        v.colour[0] = v.colour[1] = v.colour[2] = -0.1f * z;
        v.colour[3] = 1;
      }
  } else if (mode == 2 || mode == 3) {
    const uint32_t when = static_cast<uint32_t>(std::max(0.0f, std::trunc(a)));
    const float s = 20 * magicStrength.evaluate(when);
    const float m1 = magic1.evaluate(when), m2 = magic2.evaluate(when), m3 = magic3.evaluate(when),
                m4 = magic4.evaluate(when), m5 = magic5.evaluate(when);
    const float ax = ampX.evaluate(when), ay = ampY.evaluate(when), az = ampZ.evaluate(when);
    const float k = 2 * pulse + 1;
    for (int i = 1; i <= kN - 3; ++i) {
      const float e = static_cast<float>(i) / n;
      const float G = std::sin(e * s * m2 + 0.2f * a);
      const float H = std::cos(std::cos(0.11111111f * a) + e * s * m5);
      for (int j = 1; j <= kN - 3; ++j) {
        Vertex& v = at(i, j);
        const float L = static_cast<float>(j) * s * m1 / n;
        if (mode == 2) {
          const float x = (G + std::cos(0.2f * a + L * s * m3)) * ax + v.base[0];
          const float y = std::cos(0.11111111f * a + s * m2 * L) * ay + v.base[1];
          const float z = (v.base[0] * std::sin(L * s * m4 + 0.14285715f * a) + H * x) * az;
          v.position[0] = x, v.position[1] = y, v.position[2] = z;
          v.colour[0] = v.colour[1] = v.colour[2] = z * 0.5f + 1;
          v.colour[3] = 1;
        } else {
          const float u = (G + std::cos(0.2f * a + L * s * m4)) * ax * k + v.baseTex[0];
          const float w = (std::cos(u * s * m5) + std::cos(L * s * m3 + 0.11111111f * a)) * ay * k + v.baseTex[1] + 0.1f;
          v.tex[0] = u, v.tex[1] = w;
        }
      }
    }
  }
}

void GridExp::render(uint32_t time) {
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT |
               GL_TEXTURE_BIT);
  if (sourceEffect) {
    glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  } else if (pictureTexture) {
    pictureTexture->bind();
  }
  glEnable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, integerAspect(screenWidth, screenHeight), 0.1, 2000);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -20);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  if (Rotate.evaluate(time) != 0) glRotatef(0.05f * scaledTime, 0, 0, 1);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_FRONT);
  glDisable(GL_LIGHTING);
  glColor4f(1, 1, 1, 1);

  const uint32_t mode = Anim.evaluateInt(time);
  if (Anim.changed) {
    resetGrid();
    Anim.changed = false;
  }
  animate(mode, 0.05f * scaledTime);

  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  const bool blend = Blend.evaluate(time) != 0;
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  }
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(Vertex), grid[0].position);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), grid[0].tex);
  if (shadeOn) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, sizeof(Vertex), grid[0].colour);
  }
  for (int j = 0; j < kN - 1; ++j)
    glDrawElements(GL_TRIANGLE_STRIP, 2 * kN - 2, GL_UNSIGNED_SHORT, &stripIndices[size_t(j) * 2 * kN]);
  glPopClientAttrib();
  if (blend) {
    glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glDisable(GL_BLEND);
  }
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glCullFace(GL_BACK);
  glColor4f(1, 1, 1, 1);
  glPopAttrib();
}
