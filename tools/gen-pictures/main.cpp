// gen-pictures OUTDIR [--fonts DIR]
// Paints every picture of the sample demo into OUTDIR/data/... . The output depends only on
// this program and the DejaVu fonts, so two runs give byte-identical files.

#include <cstdio>
#include <cstring>
#include <string>

#include "Pictures.h"

int main(int argc, char** argv) {
  PictureContext ctx;
  ctx.fonts.directory = "/usr/share/fonts/truetype/dejavu";  // where Debian puts the faces
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fonts") == 0 && i + 1 < argc) {
      ctx.fonts.directory = argv[++i];
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "gen-pictures: unknown option %s\n", argv[i]);
      return 2;
    } else {
      ctx.outDir = argv[i];
    }
  }
  if (ctx.outDir.empty()) {
    std::fprintf(stderr, "usage: gen-pictures OUTDIR [--fonts DIR]\n");
    return 2;
  }
  makeLoadingPicture(ctx);
  makeTitlePicture(ctx);
  makeCreditsPicture(ctx);
  makePartCards(ctx);
  makeTypewriterCaption(ctx);
  makeNebula(ctx);
  makeHorizon(ctx);
  makeGlow(ctx);
  makeLogo(ctx);
  makeRays(ctx);
  makeRings(ctx);
  makeHexGrid(ctx);
  makeEnvironmentMap(ctx);
  makeBrushedMetal(ctx);
  makeFloorTiles(ctx);
  makeSphereSprites(ctx);
  makeLightProbe(ctx);
  return 0;
}
