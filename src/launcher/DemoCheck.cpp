#include "launcher/DemoCheck.h"


#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "archive/vkd.h"
#include "demoSystem/AuthoringLoad.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "launcher/DemoStartup.h"
#include "launcher/LauncherState.h"
#include "platform/Files.h"
#include "platform/Headless.h"
#include "platform/Window.h"

namespace {

// A hidden window's context on the offscreen driver, current while the object lives.
class HeadlessContext {
 public:
  HeadlessContext(int width, int height) {
    platform::useHeadlessVideo();
    if (!platform::startVideo()) return;
    started_ = true;
    platform::setFramebufferFormat(32, 0);
    window_ = platform::createWindow("demoengine --check", width, height, platform::kWindowHidden);
    if (window_) context_ = platform::createContext(window_);
    if (context_ && !platform::makeCurrent(window_, context_)) {
      platform::deleteContext(context_);
      context_ = nullptr;
    }
  }
  ~HeadlessContext() {
    if (context_) {
      platform::makeCurrent(nullptr, nullptr);
      platform::deleteContext(context_);
    }
    if (window_) platform::destroyWindow(window_);
    if (started_) platform::stopVideo();
  }
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  bool ok() const { return context_ != nullptr; }

 private:
  bool started_ = false;
  platform::Window* window_ = nullptr;
  platform::GlContext* context_ = nullptr;
};

bool unpackedScriptIsHere() { return std::filesystem::exists(kDemoScript); }

}  // namespace

int checkDemo(const CommandLineOptions& options) {
  std::string why;
  if (!options.checkDirectory.empty() && !platform::setCurrentFolder(options.checkDirectory, &why)) {
    std::fprintf(stderr, "demoengine: --check %s: %s\n", options.checkDirectory.c_str(), why.c_str());
    return 2;
  }
  const bool archive = options.checkDirectory.empty() ? std::filesystem::exists(kArchiveName) || !unpackedScriptIsHere()
                                                       : !unpackedScriptIsHere() && std::filesystem::exists(kArchiveName);

  screenWidth = options.width.value_or(800);
  screenHeight = options.height.value_or(600);
  HeadlessContext context(screenWidth, screenHeight);
  if (!context.ok()) {
    std::fprintf(stderr, "demoengine: --check needs an OpenGL context for the shaders and pictures: %s\n",
                 platform::lastError());
    return 1;
  }
  queryGlCaps();
  checkExtensions();
  chooseFloatTextureFormat();
  if (archive) openArchive(kArchiveName, kArchivePassword);
  else setDiskNamesLikeArchive(true);

  EffectList effects(builtInEffectTypes(), ScriptLoader::reportToCollectingLoad);
  EventList events;
  const AuthoringLoad load = loadScriptForAuthoring(kDemoScript, effects, events);
  effects.clear();  // while their context is still there

  // What a run passes over (a sync track file that drives nothing, or overrides the
  // script's keys) is a problem here like the rest.
  std::vector<ScriptProblem> problems = load.problems;
  problems.insert(problems.end(), load.notes.begin(), load.notes.end());
  for (const ScriptProblem& problem : problems) std::printf("%s\n", problem.text().c_str());
  std::fflush(stdout);
  const char* what = archive ? "the archive" : "the unpacked demo";
  if (problems.empty())
    std::fprintf(stderr, "demoengine: no problems in %s (%zu files read)\n", what, load.filesRead.size());
  else
    std::fprintf(stderr, "demoengine: %zu problem%s in %s\n", problems.size(), problems.size() == 1 ? "" : "s", what);
  return problems.empty() ? 0 : 1;
}
