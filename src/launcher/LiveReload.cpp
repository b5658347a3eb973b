#include "launcher/LiveReload.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>

#include "archive/FileRequests.h"
#include "demoSystem/AuthoringLoad.h"
#include "demoSystem/SyncTracks.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "engine/Scene.h"
#include "engine/SceneLoaderVKG.h"
#include "engine/ShaderManager.h"
#include "launcher/DemoStartup.h"
#include "platform/Time.h"
#include "platform/Window.h"
#include "resources/ImagePrefetch.h"
#include "resources/Texture.h"

namespace {

uint64_t nowMs() { return platform::performanceCount() * 1000 / platform::performanceFrequency(); }

// The GL stacks before a load: a fatal report caught in the middle of an effect's set-up may
// leave a framebuffer bound or attributes and matrices pushed, and the running demo must
// not draw into them.
struct GlStacks {
  GLint attributes = 0, modelView = 0, projection = 0;

  static GlStacks now() {
    GlStacks stacks;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &stacks.attributes);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &stacks.modelView);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &stacks.projection);
    return stacks;
  }

  void restore() const {
    const GlStacks left = now();
    for (GLint i = left.attributes; i > attributes; --i) glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    for (GLint i = left.projection; i > projection; --i) glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    for (GLint i = left.modelView; i > modelView; --i) glPopMatrix();
    glBindFramebuffer(GL_FRAMEBUFFER, platform::screenFramebuffer());
    glBindProgramPipeline(0);
    glUseProgram(0);
    // What the broken set-up left is not the next frame's error (bounded: a lost context
    // reports one on every call).
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
  }
};

}  // namespace

LiveReload::LiveReload(std::string script, std::string soundtrack)
    : script_(std::move(script)), soundtrack_(std::move(soundtrack)) {
  watched_.insert(soundtrack_);
}

LiveReload::~LiveReload() = default;

bool LiveReload::changesSettled() {
  std::vector<std::string> news = watch_.takeChanges();
  // A save from the sync editor is nothing new: reloading for it would only restart the effects.
  std::erase_if(news, holdsTheEditorsKeys);
  if (!news.empty()) {
    lastChange_ = nowMs();
    for (const std::string& path : news)
      if (std::find(pending_.begin(), pending_.end(), path) == pending_.end()) pending_.push_back(path);
  }
  return !pending_.empty() && nowMs() - lastChange_ >= static_cast<uint64_t>(kSettleMs);
}

std::vector<std::string> LiveReload::watchedFiles() const { return {watched_.begin(), watched_.end()}; }

void LiveReload::releaseChanged(const std::vector<std::string>& changed) {
  std::vector<const Texture*> released;
  for (auto& texture : TextureManager::instance().releaseReadFrom(changed)) {
    released.push_back(texture.get());
    retiredTextures_.push_back(std::move(texture));
  }
  // A scene is read again when its file changed or when one of its pictures did (its
  // materials hold the old texture).
  for (auto& scene : SceneManager::instance().releaseScenes(changed, released))
    retiredScenes_.push_back(std::move(scene));
  for (auto& program : ShaderManager::instance().releasePrograms(changed))
    retiredPrograms_.push_back(std::move(program));
}

void LiveReload::freeRetired() {
  // Scenes first: their meshes' buffers go with them, while the textures they point to are
  // still there.
  retiredScenes_.clear();
  for (const auto& texture : retiredTextures_) {
    const GLuint name = texture->getId();
    if (name != 0) glDeleteTextures(1, &name);
  }
  for (const auto& program : retiredPrograms_)
    if (program->getProgram() != 0) glDeleteProgram(program->getProgram());
  retiredTextures_.clear();
  retiredPrograms_.clear();
}

bool LiveReload::reload() {
  std::vector<std::string> changed;
  changed.swap(pending_);
  soundtrackChanged_ = std::any_of(changed.begin(), changed.end(), [&](const std::string& path) {
    return dataFileKey(path) == dataFileKey(soundtrack_);
  });
  releaseChanged(changed);

  auto effects = std::make_unique<EffectList>(builtInEffectTypes(), ScriptLoader::reportToCollectingLoad);
  auto events = std::make_unique<EventList>();
  const GlStacks stacks = GlStacks::now();
  readPicturesAhead(script_.c_str());
  const AuthoringLoad load = loadScriptForAuthoring(script_.c_str(), *effects, *events);
  endImagePrefetch();

  lastFiles_ = load.filesRead;
  watched_.insert(load.filesRead.begin(), load.filesRead.end());
  watch_.watch(watchedFiles());

  if (!load.ok()) {
    effects.reset();
    events.reset();
    stacks.restore();
    // A program that did not compile is tried again next time, not handed out broken.
    for (auto& program : ShaderManager::instance().releasePrograms({})) retiredPrograms_.push_back(std::move(program));
    std::vector<std::string> lines;
    for (const ScriptProblem& problem : load.problems) {
      lines.push_back(problem.text());
      std::fprintf(stderr, "%s\n", lines.back().c_str());
    }
    std::fprintf(stderr, hasDemo_ ? "demoengine: the reload failed; the demo loaded before plays on until the files are fixed\n"
                                  : "demoengine: the demo did not load; waiting for the files to be fixed\n");
    std::fflush(stderr);
    overlay_.setLines(std::move(lines));
    return false;
  }

  delete effectRegistry;  // the old effects go with their list
  effectRegistry = effects.release();
  delete eventList;
  eventList = events.release();
  adoptSyncTracks(*effectRegistry, load.keyed, load.trackFiles);
  for (const ScriptProblem& note : load.notes) std::fprintf(stderr, "%s\n", note.text().c_str());
  freeRetired();
  overlay_.setLines({});
  if (hasDemo_) {
    std::string names;
    for (const std::string& path : changed) names += (names.empty() ? "" : ", ") + path;
    std::fprintf(stderr, "demoengine: reloaded%s%s\n", names.empty() ? "" : " after a change to ", names.c_str());
    std::fflush(stderr);
  }
  hasDemo_ = true;
  return true;
}
