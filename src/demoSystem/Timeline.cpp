#include "demoSystem/Timeline.h"

#include <epoxy/gl.h>

#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/TimelineEvent.h"
#include "base/Display.h"
#include "base/Error.h"
#include "demoSystem/EffectRegistry.h"

uint32_t demoStartTime = 0;
uint32_t demoEndTime = 0;
uint32_t playbackEndTime = 60000;
uint32_t patternStepLength = 100;
std::vector<uint32_t> partTimes;
uint32_t currentDemoTime = 0;

EffectRegistry* effectRegistry = nullptr;
EventList* eventList = nullptr;

ScriptLoader& timelineScriptLoader() {
  static ScriptLoader loader;
  return loader;
}

void loadScript(const char* path) {
  assertNotNull(effectRegistry, DE_HERE);  // the launcher hands the registry over first
  if (!eventList) eventList = new EventList;
  timelineScriptLoader().load(path, *effectRegistry, *eventList);
}

void renderFrame(uint32_t t) {
  RenderStats::reset();
  if (!effectRegistry) return;
  currentDemoTime = t;

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
  for (Effect* effect : effects) {
    effect->wasActive = effect->active.evaluateBool(t);
    if (effect->wasActive) effect->update(t);
  }

  glViewport(0, 0, screenWidth, screenHeight);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  for (Effect* effect : effects)
    if (effect->active.evaluateBool(t)) effect->render(t);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}
