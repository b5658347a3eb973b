#include "demoSystem/Timeline.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <vector>

#include "base/Display.h"
#include "base/Error.h"
#include "base/Random.h"
#include "demoSystem/Effect.h"
#include "demoSystem/EffectRegistry.h"
#include "demoSystem/FrameProfile.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/SyncTracks.h"
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
  ScriptLoader& loader = timelineScriptLoader();
  loader.load(path, *effectRegistry, *eventList);
  if (!loader.failed()) loadSyncTracks(*effectRegistry, loader.timelineKeyed());
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

void deliverDueEvents(uint32_t t) {
  if (!eventList) return;
  while (eventList->hasDue(t)) {
    const TimelineEvent& event = eventList->takeNext();
    if (Effect* effect = effectRegistry->findEffect(event.effectName)) effect->handleEvent(event);
  }
}

}  // namespace

void renderFrame(uint32_t t) {
  RenderStats::reset();
  if (!effectRegistry) return;
  currentDemoTime = t;
  FrameProfile* profile = frameProfile;
  if (profile) profile->beginFrame(t, effectRegistry->effects().size());

  deliverDueEvents(t);

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

// [SECTION] Catch-up

namespace {

// A source drawn inside another effect's drawing moves on with it, so the drawing carries
// the longest memory along its source chain (cut after a few links: a chain may loop).
DrawingMemory memoryWithSources(const Effect* effect) {
  DrawingMemory memory = DrawingMemory::None;
  for (int link = 0; effect && link < 8; ++link, effect = effect->sourceEffect)
    memory = std::max(memory, effect->drawingMemory());
  return memory;
}

}  // namespace

CatchUpCost catchUpTimeline(uint32_t demoStart, uint32_t until, int fps,
                            const std::function<void(uint32_t, uint32_t)>& beforeFrame) {
  CatchUpCost cost;
  if (!effectRegistry || fps <= 0 || until <= demoStart) return cost;
  const auto began = std::chrono::steady_clock::now();
  const auto frameTime = [demoStart, fps](int64_t k) { return demoStart + static_cast<uint32_t>(k * 1000 / fps); };
  // Frame k is before `until` exactly when k < (until − demoStart)·fps / 1000.
  const int64_t frames = (static_cast<int64_t>(until - demoStart) * fps + 999) / 1000;
  const uint32_t lastReplayed = frameTime(frames - 1);

  // The last start each effect receives among the events the replay delivers.
  std::unordered_map<const Effect*, uint32_t> lastStart;
  if (eventList) {
    const std::vector<TimelineEvent>& events = eventList->events();
    for (size_t i = eventList->cursorIndex(); i < events.size(); ++i) {
      const TimelineEvent& event = events[i];
      if (event.code != EffectEvent::kStart || event.time > lastReplayed) continue;
      if (const Effect* effect = effectRegistry->findEffect(event.effectName)) lastStart[effect] = event.time;
    }
  }

  std::vector<Effect*> effects;
  for (int64_t k = 0; k < frames; ++k) {
    const uint32_t t = frameTime(k);
    if (beforeFrame) beforeFrame(t, frameTime(k + 1));
    RenderStats::reset();
    currentDemoTime = t;
    deliverDueEvents(t);
    effects.assign(effectRegistry->effects().begin(), effectRegistry->effects().end());
    for (Effect* effect : effects) {
      effect->wasActive = effect->active.evaluateBool(t);
      if (effect->wasActive) effect->update(t);
    }
    const bool whole = k == frames - 1;
    glViewport(0, 0, screenWidth, screenHeight);
    pushFrameMatrices();
    for (Effect* effect : effects) {
      if (!effect->active.evaluateBool(t)) continue;
      if (!whole) {
        const DrawingMemory memory = memoryWithSources(effect);
        if (memory == DrawingMemory::None) continue;
        if (memory == DrawingMemory::SinceStart) {
          const auto started = lastStart.find(effect);
          if (started != lastStart.end() && t < started->second) continue;
        }
      }
      effect->render(t);
      ++cost.drawings;
    }
    popFrameMatrices();
    ++cost.frames;
  }
  cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return cost;
}
