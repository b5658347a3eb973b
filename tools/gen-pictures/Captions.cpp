// [SECTION] Pictures for the text effects: the line the typewriter types in the build.

#include "Pictures.h"
#include "Writers.h"

namespace {

// The typewriter uncovers its picture from the left, 0.55 of the width being visible from
// the start: the line is set in the right part, and the script moves the picture left.
constexpr float kTypingStart = 0.56f;

}  // namespace

void makeTypewriterCaption(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  TextStyle mono;
  mono.fontFile = "DejaVuSansMono.ttf";
  mono.pixelSize = 26;
  mono.tracking = 1.5f;
  Mask mask(c.width(), c.height());
  // Baseline 150 of 768 rows: the line sits between 0.80 and 0.84 of the height, counted
  // from the bottom as the typewriter's cursor heights are.
  drawText(mask, ctx.fonts, mono, "the light is coming back", kTypingStart * float(c.width()), 150.0f,
           Align::Left);
  Mask glow = mask;
  glow.blur(4.0f);
  glow.scale(1.4f);
  c.glow(glow, rgb(1.0f, 0.55f, 0.2f));
  c.paint(mask, rgb(1.0f, 0.95f, 0.85f));
  writePng(ctx.file("data/images/typewriter_caption.png"), c.resampled(1024, 1024), true);
}
