#include "demoSystem/AuthoringLoad.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

#include "archive/FileRequests.h"
#include "base/LoadRecord.h"
#include "base/Random.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/Texture.h"

namespace {

// What a load changes beyond the registry and the event list.
struct DemoWideValues {
  int32_t heldStartTime, heldEndTime, heldBeat, scriptTimeOffset;
  uint32_t demoStartTime, demoEndTime, playbackEndTime, patternStepLength, lastPatternStep;
  std::vector<uint32_t> partTimes;
};

DemoWideValues save(const ScriptLoader& loader) {
  return {loader.heldStartTime, loader.heldEndTime, loader.heldBeat, loader.scriptTimeOffset,
          demoStartTime,        demoEndTime,        playbackEndTime, patternStepLength,
          lastPatternStep,      partTimes};
}

void restore(ScriptLoader& loader, const DemoWideValues& values) {
  loader.heldStartTime = values.heldStartTime;
  loader.heldEndTime = values.heldEndTime;
  loader.heldBeat = values.heldBeat;
  loader.scriptTimeOffset = values.scriptTimeOffset;
  demoStartTime = values.demoStartTime;
  demoEndTime = values.demoEndTime;
  playbackEndTime = values.playbackEndTime;
  patternStepLength = values.patternStepLength;
  lastPatternStep = values.lastPatternStep;
  partTimes = values.partTimes;
}

// What the event will ask for when it fires, asked for now (and cached for then).
void loadEventResource(int32_t code, const std::string& text) {
  if (code == EffectEvent::kVertexProgram) {
    getVertexProgram(text);
  } else if (code == EffectEvent::kFragmentProgram) {
    getFragmentProgram(text);
  } else if (namesPicture(text) && TextureManager::instance().useCount(text) == 0) {
    TextureManager::instance().getTexture(text, "", GL_TEXTURE_2D, 0);
  }
}

}  // namespace

bool namesPicture(const std::string& text) {
  static constexpr const char* kEndings[] = {".png", ".PNG", ".jpg", ".JPG", ".dds", ".DDS", ".hdr", ".HDR"};
  return text.size() > 4 && std::any_of(std::begin(kEndings), std::end(kEndings), [&](const char* ending) {
           return text.compare(text.size() - 4, 4, ending) == 0;
         });
}

AuthoringLoad loadScriptForAuthoring(const char* path, EffectRegistry& effects, EventList& events) {
  ScriptLoader& loader = timelineScriptLoader();
  const DemoWideValues before = save(loader);
  // As a run's load: a reload builds, and first draws, what a fresh start does.
  demoSrand(1);
  lastPatternStep = 1000;
  AuthoringLoad result;
  auto add = [&](const ScriptProblem& problem) {
    if (std::find(result.problems.begin(), result.problems.end(), problem) == result.problems.end())
      result.problems.push_back(problem);
  };
  // A shader's own account of its compile comes first; the fatal report that follows it
  // says the same with less.
  bool fatalFollows = false;
  setLoadProblemListener([&](const LoadProblem& problem) {
    ScriptProblem found{problem.file, problem.line, problem.message, false};
    if (found.file.empty()) std::tie(found.file, found.line) = loader.statementLocation();
    fatalFollows = fatalFollows || problem.fatalFollows;
    add(found);
  });
  loader.collect({[&](const ScriptProblem& problem) {
                    if (problem.caught && fatalFollows) {
                      fatalFollows = false;
                      return;
                    }
                    add(problem);
                  },
                  loadEventResource});
  takeRecordedFiles();
  setFileRecording(true);

  loader.load(path, effects, events);

  setFileRecording(false);
  result.filesRead = takeRecordedFiles();
  loader.collect({});
  setLoadProblemListener({});
  if (!result.ok()) restore(loader, before);
  return result;
}
