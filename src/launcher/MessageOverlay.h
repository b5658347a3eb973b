#pragma once
// Lines of text over the demo: what a reload that failed has to say, drawn on top of the
// finished frame in a dark red box across the top of the window. The letters are Dear
// ImGui's embedded pixel font (ProggyClean, 13 px: the dialog's library carries it, so no
// font file is needed), uploaded once as an alpha texture and drawn as one textured quad
// per letter; at 1024 pixels of height and more they are drawn twice as large.

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

struct ImFontAtlas;

class MessageOverlay {
 public:
  MessageOverlay();
  ~MessageOverlay();
  MessageOverlay(const MessageOverlay&) = delete;
  MessageOverlay& operator=(const MessageOverlay&) = delete;

  void setLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
  const std::vector<std::string>& lines() const { return lines_; }

  // Draws the lines over the default framebuffer of a width × height window, long lines
  // wrapped at its edge and lines past its bottom left out. Nothing without lines. Every GL
  // state it touches (framebuffer, program, matrices, viewport, blending, texturing) is
  // left as it found it.
  void draw(int width, int height);

  // The box's colour (RGBA, 0..1) and the letters', for whoever checks the pixels.
  static constexpr float kBoxColour[4] = {0.35f, 0.0f, 0.0f, 0.85f};
  static constexpr float kTextColour[4] = {1.0f, 1.0f, 1.0f, 1.0f};

 private:
  bool prepareFont();

  std::vector<std::string> lines_;
  std::unique_ptr<ImFontAtlas> atlas_;
  GLuint texture_ = 0;
};
