#pragma once
// The recipes: each paints one picture of the sample demo and writes it below `outDir`
// under the name the script or the effects ask for.

#include <string>

#include "Text.h"

struct PictureContext {
  std::string outDir;  // the tree that becomes the archive root: files go to outDir/data/...
  FontSet fonts;
  std::string file(const char* relative) const { return outDir + "/" + relative; }
};

// Screens are 4:3 while the textures are square: full-screen pictures are painted at
// 1024 × 768 and stretched onto 1024 × 1024, which the screen squeezes back.
constexpr int kDesignWidth = 1024, kDesignHeight = 768;

// Title and text pictures (Titles.cpp).
void makeLoadingPicture(const PictureContext& ctx);
void makeTitlePicture(const PictureContext& ctx);
void makeCreditsPicture(const PictureContext& ctx);
void makePartCards(const PictureContext& ctx);

// The typewriter's line (Captions.cpp).
void makeTypewriterCaption(const PictureContext& ctx);

// Backgrounds and sprites for the layer effects (Sprites.cpp).
void makeNebula(const PictureContext& ctx);
void makeHorizon(const PictureContext& ctx);
void makeGlow(const PictureContext& ctx);
void makeLogo(const PictureContext& ctx);
void makeRays(const PictureContext& ctx);
void makeRings(const PictureContext& ctx);
void makeHexGrid(const PictureContext& ctx);

// Textures the 3D and distortion effects name (Textures.cpp).
void makeEnvironmentMap(const PictureContext& ctx);
void makeBrushedMetal(const PictureContext& ctx);
void makeFloorTiles(const PictureContext& ctx);
void makeSphereSprites(const PictureContext& ctx);
void makeLightProbe(const PictureContext& ctx);
