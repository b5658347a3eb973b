// gen-scenes OUTDIR
// Builds every scene of the sample demo into OUTDIR/data/scenes/ . The output depends only on
// this program, so two runs give byte-identical files.

#include <cstdio>
#include <filesystem>

#include "SceneKit.h"

#define SCENE_FAMILY(name) void writeSceneFamily_##name(SceneOutput& out);
#include "Families.def"
#undef SCENE_FAMILY

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: gen-scenes OUTDIR\n");
    return 2;
  }
  SceneOutput out;
  out.directory = std::filesystem::path(argv[1]) / "data" / "scenes";
  std::error_code error;
  std::filesystem::create_directories(out.directory, error);
  if (error) {
    std::fprintf(stderr, "gen-scenes: cannot create %s: %s\n", out.directory.c_str(), error.message().c_str());
    return 1;
  }
#define SCENE_FAMILY(name) writeSceneFamily_##name(out);
#include "Families.def"
#undef SCENE_FAMILY
  return out.failed ? 1 : 0;
}
