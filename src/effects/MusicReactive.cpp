#include "effects/MusicReactive.h"

#include <epoxy/gl.h>

#include "base/FrameStats.h"
#include "demoSystem/EffectRegistry.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "effects/Oscillo.h"
#include "effects/ScreenQuad.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;

Effect* findTimelineEffect(const std::string& name) {
  return effectRegistry ? effectRegistry->findEffect(name) : nullptr;
}

}  // namespace

// [SECTION] Spectrum

SpectrumEffect::SpectrumEffect(const std::string& name) : Effect(name) {
  pulseEvent.code = EffectEvent::kPulse;
  registerEvent(kSetTarget, "SOURCE", "the instance named by the text alone receives the music's pulse every frame");
  registerEvent(kAddTarget, "ADD_TARGET", "the instance named by the text receives the pulse too");
}

void SpectrumEffect::switchAnalyserOn() {
  setSpectrumActive(true);
  fftActive = true;
}

void SpectrumEffect::start(uint32_t) {
  if (isSoundInitialised() && !fftActive) switchAnalyserOn();
}

void SpectrumEffect::update(uint32_t time) {
  if (!isSoundInitialised()) return;
  if (!fftActive) switchAnalyserOn();
  if (!isMusicPlaying()) return;
  const float* bins = getSpectrum();
  if (bins == nullptr) return;
  // In bin order, in single precision: the level is defined by this sum.
  float total = 0;
  for (int k = 0; k < kSpectrumSize; ++k) total += bins[k];
  sum = total;
  spectrumLevel = sum;
  pulseEvent.time = time;
  pulseEvent.value = sum;
  pulseEvent.params = {sum, 0, 0};
  for (Effect* target : targets) target->handleEvent(pulseEvent);
}

void SpectrumEffect::render(uint32_t) {}

void SpectrumEffect::handleEvent(const TimelineEvent& event) {
  Effect::handleEvent(event);
  switch (event.code) {
    case kSetTarget:
      targets.clear();
      if (Effect* target = findTimelineEffect(event.text)) targets.push_back(target);
      break;
    case kAddTarget:
      if (Effect* target = findTimelineEffect(event.text)) targets.push_back(target);
      break;
    default: break;
  }
}

// [SECTION] Osc

OscEffect::OscEffect(const std::string& name) : Effect(name), oscillo(std::make_unique<Oscillo>()) {
  Red.value = Green.value = Blue.value = 1.0f;
  Alpha.value = 0.5f;
  xPos.value = yPos.value = Width.value = Height.value = 0.4f;
  registerVariable(&Red, "Red", kNoTable, Variable::kFloat, "trace colour, red");
  registerVariable(&Green, "Green", kNoTable, Variable::kFloat, "trace colour, green");
  registerVariable(&Blue, "Blue", kNoTable, Variable::kFloat, "trace colour, blue");
  registerVariable(&Alpha, "Alpha", kNoTable, Variable::kFloat, "trace alpha: how strongly the trace darkens the frame");
  registerVariable(&xPos, "xPos", kNoTable, Variable::kFloat, "left edge of the trace box (0–1 from the left)");
  registerVariable(&yPos, "yPos", kNoTable, Variable::kFloat, "top edge of the trace box (0–1 from the top)");
  registerVariable(&Width, "Width", kNoTable, Variable::kFloat, "width of the trace box (screen units)");
  registerVariable(&Height, "Height", kNoTable, Variable::kFloat, "height of the trace box (screen units)");
}

OscEffect::~OscEffect() {
  setCaptureActive(false);
  stopCapture();
}

void OscEffect::start(uint32_t time) {
  Effect::start(time);
  // Music off is the viewer's choice, not a failure: no sound system, a silent trace.
  if (isSoundInitialised() || isSoundRequested()) Oscillo::startCapture();
  started = true;
}

void OscEffect::render(uint32_t time) {
  if (!started) return;
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  oscillo->setColour(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  if (RenderTarget* target = oscillo->render()) {
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, target->getColorTextureId());
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    // The trace darkens what lies beneath by its alpha; its colour does not show.
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    setOrthoUnit();
    // An overlay: whatever depth the frame holds must not hide it, nor may it leave depth.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    drawRect({xPos.evaluate(time), yPos.evaluate(time), Width.evaluate(time), Height.evaluate(time)});
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
  }
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
}
