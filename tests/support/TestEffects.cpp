#include "support/TestEffects.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/TempDir.h"

void fillRect(float x0, float y0, float x1, float y1, float r, float g, float b) {
  glColor4f(r, g, b, 1);
  glBegin(GL_QUADS);
  glVertex2f(x0 * 2 - 1, y0 * 2 - 1);
  glVertex2f(x1 * 2 - 1, y0 * 2 - 1);
  glVertex2f(x1 * 2 - 1, y1 * 2 - 1);
  glVertex2f(x0 * 2 - 1, y1 * 2 - 1);
  glEnd();
  glColor4f(1, 1, 1, 1);
}

void writeSampleShaders(const WorkingDirectory& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(DE_SOURCE_DIR "/demo/data/shaders")) {
    std::ifstream in(entry.path(), std::ios::binary);
    dir.write("data/shaders/" + entry.path().filename().string(),
              std::string(std::istreambuf_iterator<char>(in), {}));
  }
}
