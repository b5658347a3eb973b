#include "effects/Text.h"

#include <epoxy/gl.h>

#include <algorithm>

#include "base/Display.h"
#include "base/FrameRateCounter.h"
#include "base/FrameStats.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/EffectRegistry.h"
#include "demoSystem/Timeline.h"
#include "effects/ScreenQuad.h"
#include "resources/Texture.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;

void registerColour(Effect& effect, FloatVariable& red, FloatVariable& green, FloatVariable& blue,
                    FloatVariable& alpha) {
  red.value = green.value = blue.value = alpha.value = 1.0f;
  effect.registerVariable(&red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  effect.registerVariable(&green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  effect.registerVariable(&blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  effect.registerVariable(&alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
}

}  // namespace

// [SECTION] TypeWriter

TypeWriter::TypeWriter(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  Datafile.stringIndexed = true;
  registerVariable(&Datafile, "Datafile", 0, Variable::kInteger, "picture of the letters, by the file name given at set-up");
  OwnBlendSrc.value = 1;
  for (IntVariable* blend : {&OwnBlendSrc, &OwnBlendDst, &OwnBlendEquation}) blend->choiceCount = 10000;
  registerVariable(&OwnBlendSrc, "BlendSrc", kNoTable, Variable::kInteger, "blend source factor code of the letters (as the base BlendSrc)");
  registerVariable(&OwnBlendDst, "BlendDst", kNoTable, Variable::kInteger, "blend destination factor code of the letters");
  registerVariable(&OwnBlendEquation, "BlendEquation", kNoTable, Variable::kInteger, "blend equation code of the letters");
  timerate.value = 125;
  lstartx.value = 0.3f;
  lendx.value = 0.9f;
  maxvalue.value = 0.9f;
  registerVariable(&timerate, "timerate", kNoTable, Variable::kFloat, "ms between two typing steps");
  registerVariable(&lstartx, "lstartx", kNoTable, Variable::kFloat, "cursor shown only while the typed edge is past this");
  registerVariable(&lendx, "lendx", kNoTable, Variable::kFloat, "… and before this");
  registerVariable(&maxvalue, "maxvalue", kNoTable, Variable::kFloat, "brightness and greatest alpha of the letters");
  registerEvent(kPosition, "POSITION", "position = the three numbers");
  registerEvent(kRotation, "ROTATION", "rotation in degrees = the three numbers");
  registerEvent(kScale, "SCALE", "scale = the three numbers");
  registerEvent(kRotationSpeed, "ROTATION_SPEED", "rotation speed = the three numbers");
  registerEvent(kScaleSpeed, "SCALE_SPEED", "scale speed = the three numbers");
  registerEvent(kNotDone, "NOT_DONE", "typing goes on");
  registerEvent(kDone, "DONE", "typing stops");
  registerEvent(kGrow, "GROW", "the scale speed grows the letters");
  registerEvent(kShrink, "SHRINK", "the scale speed shrinks the letters");
  registerEvent(kLoadPicture, "PICTURE", "loads the picture file named by the text");
  registerEvent(kCursorStart, "CURSOR_TOP", "cursor start = value");
  registerEvent(kCursorEnd, "CURSOR_BOTTOM", "cursor end = value");
  registerEvent(kStep, "TYPE_STEP", "typing step = value");
}

void TypeWriter::start(uint32_t time) {
  Effect::start(time);
  position = {0, 0, 0};
  rotation = {0, 0, 0};
  scale = {1, 1, 1};
  rotationSpeed = {0, 0, 0};
  scaleSpeed = {0, 0, 0};
  growing = true;
  edge = 0.55f;
  step = 0.05f;
  lastStepTime = time;
  fade = 0;
  done = false;
  cursorStart = 1.0f;
  cursorEnd = 0.0f;
}

void TypeWriter::advance(uint32_t time) {
  // The clock went back (a seek): the next step is one rate from now, not from the future.
  if (lastStepTime > time) lastStepTime = time;
  const double rate = timerate.evaluate(time);
  if (static_cast<double>(time) - lastStepTime <= rate) return;
  // One step per frame however late the frame is; the overshoot is kept, so the next step
  // comes that much sooner, but the step time never runs ahead of the frame.
  lastStepTime = std::min(lastStepTime + rate, static_cast<double>(time));
  edge += step;
  if (edge >= 1.0f) done = true;
}

void TypeWriter::render(uint32_t time) {
  const float s = scaledTime;
  glDepthMask(GL_FALSE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glColor4f(1, 1, 1, 1);
  setOrthoUnit();
  glTranslatef(position[0], position[1], position[2]);
  glTranslatef(0.5f, 0.5f, 0);
  glRotatef(rotationSpeed[0] * s + rotation[0], 1, 0, 0);
  glRotatef(rotationSpeed[1] * s + rotation[1], 0, 1, 0);
  glRotatef(rotationSpeed[2] * s + rotation[2], 0, 0, 1);
  const float sign = growing ? 1.0f : -1.0f;
  glScalef(scale[0] + sign * s * scaleSpeed[0], scale[1] + sign * s * scaleSpeed[1],
           scale[2] + sign * s * scaleSpeed[2]);
  glTranslatef(-0.5f, -0.5f, 0);

  // Once typed, the brightness creeps up from 0.9 with the time since the last step.
  const float h = done ? static_cast<float>((time - lastStepTime) * 0.00001 + 0.9) : maxvalue.evaluate(time);
  fade = std::min(fade + 0.02f * Speed.evaluate(time), h);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  advance(time);

  // The uncovered part of the picture, opaque at the left, its right edge at `fade`.
  if (texture) {
    texture->bind();
    glEnable(GL_TEXTURE_2D);
  }
  glBegin(GL_QUADS);
  glColor4f(h, h, h, h);
  glTexCoord2f(0, 0);
  glVertex2f(0, 1);
  glColor4f(h, h, h, fade);
  glTexCoord2f(edge, 0);
  glVertex2f(edge, 1);
  glTexCoord2f(edge, 1);
  glVertex2f(edge, 0);
  glColor4f(h, h, h, h);
  glTexCoord2f(0, 1);
  glVertex2f(0, 0);
  glEnd();
  if (texture) glDisable(GL_TEXTURE_2D);

  glColor4f(0.7f, 0.7f, 0.7f, 0.7f);
  if (lstartx.evaluate(time) < edge && edge < lendx.evaluate(time)) {
    glBegin(GL_LINES);
    glVertex2f(edge, cursorStart);
    glVertex2f(edge, cursorEnd);
    glEnd();
  }

  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glBlendEquation(GL_FUNC_ADD);
  glColor4f(1, 1, 1, 1);
}

void TypeWriter::loadPicture(const std::string& file) {
  texture = TextureManager::instance().getTexture(file, "", GL_TEXTURE_2D, 0);
}

void TypeWriter::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  switch (event.code) {
    case kPosition: position = event.params; break;
    case kRotation: rotation = event.params; break;
    case kScale: scale = event.params; break;
    case kRotationSpeed: rotationSpeed = event.params; break;
    case kScaleSpeed: scaleSpeed = event.params; break;
    case kNotDone: done = false; break;
    case kDone: done = true; break;
    case kGrow: growing = true; break;
    case kShrink: growing = false; break;
    case kLoadPicture: loadPicture(event.text); break;
    case kCursorStart: cursorStart = event.value; break;
    case kCursorEnd: cursorEnd = event.value; break;
    case kStep: step = event.value; break;
    default: break;
  }
}

void TypeWriter::onStringAdded(int32_t table, const std::string& text, int32_t) {
  if (table == 0) loadPicture(text);
}

// [SECTION] ViewFPS

ViewFPS::ViewFPS(const std::string& name) : Effect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
}

void ViewFPS::start(uint32_t time) {
  Effect::start(time);
  frameRateCounter.setCounter(&demoClock.counter());
  frameRateCounter.configure(100, false, "vk_profiling.txt");
}

void ViewFPS::update(uint32_t time) {
  Effect::update(time);
  // The demo clock's tick source: the performance counter, or in a capture the frame
  // counter, so the overlay shows the capture's rate rather than the render speed.
  frameRateCounter.setCounter(&demoClock.counter());
  frameRateCounter.tick();
}

void ViewFPS::render(uint32_t time) {
  // The interval is taken every frame, so the first frame after F2 shows a true rate.
  const double now = frameRateCounter.nowMs();
  const bool first = previousRenderMs < 0;
  const double interval = now - previousRenderMs;
  previousRenderMs = now;
  if (!statsOverlay) return;
  // No interval yet: no bar. None at all (two drawings in one tick): the top of the scale.
  if (first) shownFps = 0;
  else shownFps = interval > 0 ? static_cast<float>(std::min(1.0 / (interval * 0.001), 100.0)) : 100.0f;

  setOrthoUnit();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_TEXTURE_2D);
  // An overlay: nothing the frame left in the depth buffer may hide it.
  glDisable(GL_DEPTH_TEST);
  const float r = Red.evaluate(time), g = Green.evaluate(time), b = Blue.evaluate(time);
  const float a = Alpha.evaluate(time);
  auto line = [](float x0, float y0, float x1, float y1) {
    glVertex2f(x0, y0);
    glVertex2f(x1, y1);
  };

  // The rate bar, its marks, the statistics and the lamps have colours of their own, opaque;
  // the variables' colour is the timeline's.
  glBegin(GL_LINES);
  // The frame rate: full height is 100 fps, marks at 25, 50 and 75.
  glColor4f(1, 1, 1, 1);
  line(0.98f, 0, 0.98f, 0.01f * shownFps);
  glColor4f(0.8f, 0.8f, 0.8f, 1);
  line(0.97f, 0.5f, 0.99f, 0.5f);
  glColor4f(0.6f, 0.6f, 0.6f, 1);
  line(0.97f, 0.25f, 0.99f, 0.25f);
  line(0.97f, 0.75f, 0.99f, 0.75f);
  // What the meshes drew this frame: the sum of their counts and how many draws.
  glColor4f(1, 1, 1, 1);
  line(0.96f, 0, 0.96f, 0.00001f * static_cast<float>(RenderStats::sum));
  line(0.94f, 0, 0.94f, 0.001f * static_cast<float>(RenderStats::count));
  // The timeline, the play position on it.
  glColor4f(r, g, b, a);
  line(0, 0.02f, 1, 0.02f);
  const float length = static_cast<float>(playbackEndTime);
  if (playbackEndTime != 0) line(time / length, 0.01f, time / length, 0.03f);
  glEnd();

  glPointSize(3);
  glBegin(GL_POINTS);
  if (playbackEndTime != 0)
    for (uint32_t part : partTimes) glVertex2f(part / length, 0.02f);
  // One lamp per effect: green while it is switched on at this time.
  if (effectRegistry && !effectRegistry->effects().empty()) {
    const auto& effects = effectRegistry->effects();
    const float spacing = 0.8f / static_cast<float>(effects.size());
    float x = 0.1f;
    for (Effect* effect : effects) {
      if (effect->active.evaluateBool(time)) glColor4f(0, 1, 0, 1);
      else glColor4f(1, 0, 0, 1);
      glVertex2f(x, 0.96f);
      x += spacing;
    }
  }
  glEnd();
  glPointSize(1);

  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
}
