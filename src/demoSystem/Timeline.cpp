#include "demoSystem/Timeline.h"

#include <epoxy/gl.h>

#include "base/Display.h"
#include "base/Error.h"
#include "base/Random.h"
#include "demoSystem/Effect.h"
#include "demoSystem/EffectRegistry.h"
#include "demoSystem/FrameProfile.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/TimelineEvent.h"

EventList* eventList = nullptr;

ScriptLoader& timelineScriptLoader() {
  static ScriptLoader loader;
  return loader;
}

void loadScript(const char* path) {
  assertNotNull(effectRegistry, DE_HERE);  // the launcher hands the registry over first
  if (!eventList) eventList = new EventList;
  // Effects draw random numbers while they are built, and a beat-following effect acts on
  // the first step it sees that differs from the last one seen: a reload starts both where
  // the first load did, so it builds and first draws what a fresh start does.
  demoSrand(1);
  lastPatternStep = 1000;
  timelineScriptLoader().load(path, *effectRegistry, *eventList);
}

namespace {

void pushFrameMatrices() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
}

void popFrameMatrices() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

// With a profile open, the frame goes through these copies of the walks, which time every
// update and render; the plain walks in renderFrame stay free of clock reads.
void updateProfiled(const std::vector<Effect*>& effects, uint32_t t, FrameProfile& profile) {
  using Clock = FrameProfile::Clock;
  for (size_t i = 0; i < effects.size(); ++i) {
    Effect* effect = effects[i];
    effect->wasActive = effect->active.evaluateBool(t);
    if (!effect->wasActive) continue;
    const Clock::time_point before = Clock::now();
    effect->update(t);
    profile.recordUpdate(i, effect, Clock::now() - before);
  }
}

void renderProfiled(const std::vector<Effect*>& effects, uint32_t t, FrameProfile& profile) {
  using Clock = FrameProfile::Clock;
  for (size_t i = 0; i < effects.size(); ++i) {
    Effect* effect = effects[i];
    if (!effect->active.evaluateBool(t)) continue;
    const Clock::time_point before = Clock::now();
    effect->render(t);
    // The effect's own drawing, finished, not only handed to the driver.
    glFinish();
    profile.recordRender(i, effect, Clock::now() - before);
  }
}

}  // namespace

void renderFrame(uint32_t t) {
  RenderStats::reset();
  if (!effectRegistry) return;
  currentDemoTime = t;
  FrameProfile* profile = frameProfile;
  if (profile) profile->beginFrame(t, effectRegistry->effects().size());

  if (eventList) {
    while (eventList->hasDue(t)) {
      const TimelineEvent& event = eventList->takeNext();
      if (Effect* effect = effectRegistry->findEffect(event.effectName)) effect->handleEvent(event);
    }
  }

  // A copy, so that the walk does not depend on the list staying as it is; its storage is
  // kept from frame to frame, so the copy allocates only when the list has grown.
  static std::vector<Effect*> effects;
  effects.assign(effectRegistry->effects().begin(), effectRegistry->effects().end());
  if (profile) {
    updateProfiled(effects, t, *profile);
  } else {
    for (Effect* effect : effects) {
      effect->wasActive = effect->active.evaluateBool(t);
      if (effect->wasActive) effect->update(t);
    }
  }

  glViewport(0, 0, screenWidth, screenHeight);
  pushFrameMatrices();
  if (profile) {
    renderProfiled(effects, t, *profile);
  } else {
    for (Effect* effect : effects)
      if (effect->active.evaluateBool(t)) effect->render(t);
  }
  popFrameMatrices();
  if (profile) profile->endFrame();
}
