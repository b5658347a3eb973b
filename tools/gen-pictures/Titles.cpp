// [SECTION] Pictures made of text: the loading screen, the title, the credits and the
// cards that name the parts.

#include <cmath>

#include "Noise.h"
#include "Pictures.h"
#include "Writers.h"

namespace {

struct Line {
  TextStyle style;
  std::string text;
  float y;  // baseline in design pixels
  Rgba colour;
  Rgba glowColour;
  float glowSigma;
};

// Sets one line centred, a blurred copy of it first as the glow.
void setLine(Canvas& canvas, const PictureContext& ctx, const Line& line) {
  Mask mask(canvas.width(), canvas.height());
  drawText(mask, ctx.fonts, line.style, line.text, float(canvas.width()) * 0.5f, line.y,
           Align::Centre);
  if (line.glowSigma > 0.0f) {
    Mask glow = mask;
    glow.blur(line.glowSigma);
    glow.scale(1.6f);
    canvas.glow(glow, line.glowColour);
  }
  canvas.paint(mask, line.colour);
}

void hairline(Canvas& canvas, float y, float halfWidth, Rgba colour) {
  float cx = float(canvas.width()) * 0.5f;
  for (int x = 0; x < canvas.width(); ++x) {
    float d = std::fabs(float(x) + 0.5f - cx) / halfWidth;
    if (d >= 1.0f) continue;
    float fade = 1.0f - d * d;
    for (int dy = -1; dy <= 1; ++dy) {
      float cover = dy == 0 ? 1.0f : 0.35f;
      canvas.addLight(x, int(y) + dy, colour, cover * fade);
    }
  }
}

TextStyle style(const char* font, int size, float tracking) {
  TextStyle s;
  s.fontFile = font;
  s.pixelSize = size;
  s.tracking = tracking;
  return s;
}

void writeScreenPicture(const Canvas& design, const std::string& path, bool png) {
  Canvas square = design.resampled(1024, 1024);
  if (png)
    writePng(path, square, true);
  else
    writeJpeg(path, square);
}

}  // namespace

void makeLoadingPicture(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      float u = float(x) / float(c.width()), v = float(y) / float(c.height());
      float cloud = fbm(u * 1.3f, v, 3, 5, 11) * 0.5f + 0.5f;
      float vignette = 1.0f - 0.8f * ((u - 0.5f) * (u - 0.5f) + (v - 0.5f) * (v - 0.5f));
      Rgba top = rgb(0.015f, 0.02f, 0.05f), bottom = rgb(0.07f, 0.03f, 0.09f);
      Rgba base = mix(top, bottom, v);
      float k = smoothstep(0.45f, 0.9f, cloud) * 0.12f;
      c.at(x, y) = {(base.r + k * 0.4f) * vignette, (base.g + k * 0.7f) * vignette,
                    (base.b + k * 1.0f) * vignette, 1.0f};
    }
  setLine(c, ctx, {style("DejaVuSans-ExtraLight.ttf", 200, 38.0f), "OMBRA", 420.0f,
                   rgb(0.95f, 0.97f, 1.0f), rgb(0.25f, 0.55f, 0.9f), 14.0f});
  setLine(c, ctx, {style("DejaVuSans-Bold.ttf", 26, 14.0f), "DRELLWICK", 232.0f,
                   rgb(0.9f, 0.75f, 0.5f), rgb(0.6f, 0.3f, 0.1f), 5.0f});
  hairline(c, 470.0f, 300.0f, rgb(0.5f, 0.7f, 1.0f, 0.8f));
  setLine(c, ctx, {style("DejaVuSans.ttf", 22, 10.0f), "loading", 640.0f,
                   rgb(0.6f, 0.65f, 0.75f), rgb(0.2f, 0.3f, 0.5f), 4.0f});
  writeScreenPicture(c, ctx.file("data/images/loading1024.jpg"), false);
}

void makeTitlePicture(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  setLine(c, ctx, {style("DejaVuSans-Bold.ttf", 24, 16.0f), "DRELLWICK  PRESENTS", 270.0f,
                   rgb(1.0f, 0.85f, 0.6f), rgb(0.9f, 0.45f, 0.1f), 5.0f});
  setLine(c, ctx, {style("DejaVuSans-ExtraLight.ttf", 210, 40.0f), "OMBRA", 470.0f,
                   rgb(1.0f, 1.0f, 1.0f), rgb(1.0f, 0.5f, 0.2f), 16.0f});
  hairline(c, 520.0f, 330.0f, rgb(1.0f, 0.7f, 0.4f, 0.9f));
  setLine(c, ctx, {style("DejaVuSans.ttf", 22, 9.0f), "a real-time demo in eight parts", 568.0f,
                   rgb(0.9f, 0.9f, 0.95f), rgb(0.4f, 0.3f, 0.6f), 4.0f});
  writeScreenPicture(c, ctx.file("data/images/title.png"), true);
}

void makeCreditsPicture(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  Rgba white = rgb(0.95f, 0.96f, 1.0f), warm = rgb(1.0f, 0.8f, 0.55f);
  Rgba blueGlow = rgb(0.2f, 0.4f, 0.9f), warmGlow = rgb(0.8f, 0.4f, 0.1f);
  setLine(c, ctx, {style("DejaVuSans-ExtraLight.ttf", 96, 22.0f), "OMBRA", 190.0f, white,
                   blueGlow, 9.0f});
  hairline(c, 220.0f, 240.0f, rgb(0.5f, 0.7f, 1.0f, 0.8f));
  struct Credit {
    const char* role;
    const char* who;
  };
  const Credit credits[] = {{"CODE", "drellwick"},
                            {"MUSIC", "a small synthesiser, built from source"},
                            {"PICTURES", "noise, light and DejaVu type"},
                            {"PLAYED BY", "the demo engine, in real time"}};
  float y = 315.0f;
  for (const Credit& cr : credits) {
    setLine(c, ctx, {style("DejaVuSans-Bold.ttf", 18, 10.0f), cr.role, y, warm, warmGlow, 3.0f});
    setLine(c, ctx, {style("DejaVuSans.ttf", 34, 2.0f), cr.who, y + 44.0f, white, blueGlow, 5.0f});
    y += 100.0f;
  }
  setLine(c, ctx, {style("DejaVuSans-Oblique.ttf", 26, 4.0f), "thanks for watching", 720.0f,
                   rgb(0.8f, 0.85f, 0.95f), blueGlow, 5.0f});
  writeScreenPicture(c, ctx.file("data/images/credits.png"), true);
}

void makePartCards(const PictureContext& ctx) {
  // Short captions that sweep over the screen when a part begins.
  struct Card {
    const char* file;
    const char* number;
    const char* name;
  };
  const Card cards[] = {{"data/images/part_build.png", "II", "ascent"},
                        {"data/images/part_drop.png", "III", "daylight engine"},
                        {"data/images/part_break.png", "IV", "still water"},
                        {"data/images/part_finale.png", "V", "ombra"}};
  for (const Card& card : cards) {
    Canvas c(kDesignWidth, kDesignHeight);
    setLine(c, ctx, {style("DejaVuSans-Bold.ttf", 30, 18.0f), card.number, 350.0f,
                     rgb(1.0f, 0.8f, 0.5f), rgb(0.9f, 0.4f, 0.1f), 5.0f});
    setLine(c, ctx, {style("DejaVuSans-ExtraLight.ttf", 72, 14.0f), card.name, 450.0f,
                     rgb(1.0f, 1.0f, 1.0f), rgb(0.3f, 0.5f, 1.0f), 10.0f});
    writeScreenPicture(c, ctx.file(card.file), true);
  }
}
