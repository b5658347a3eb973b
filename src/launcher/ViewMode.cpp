#include "launcher/ViewMode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "base/Random.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "engine/Scene.h"
#include "engine/SceneLoaderVKG.h"
#include "launcher/CaptureMode.h"
#include "launcher/FrameLoop.h"
#include "launcher/PlayMode.h"
#include "launcher/LauncherState.h"
#include "modelImport/ModelConverter.h"
#include "platform/Files.h"
#include "sceneFile/VKGFile.h"

namespace fs = std::filesystem;

namespace {

// Interactively the view loops until Escape: its timeline runs a day.
constexpr uint32_t kViewLength = 24u * 60u * 60u * 1000u;

std::string lowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// A converted model's files, removed at exit however the program ends.
std::string& temporaryFolder() {
  static std::string folder;
  return folder;
}

void removeTemporaryFolder() {
  if (temporaryFolder().empty()) return;
  std::error_code error;
  fs::remove_all(temporaryFolder(), error);
  temporaryFolder().clear();
}

bool convertIntoTemporaryFolder(const fs::path& model, ViewedScene& view) {
  modelimport::ConvertOptions options;
  options.notePrefix = "demoengine";
  modelimport::ConvertedModel converted;
  if (!modelimport::convertModel(model.string(), options, converted)) return false;

  const std::string pattern = platform::makeTemporaryFolder("demoengine-view-");
  if (pattern.empty()) {
    std::fprintf(stderr, "demoengine: --view: no temporary folder for the converted model\n");
    return false;
  }
  temporaryFolder() = pattern;
  std::atexit(removeTemporaryFolder);
  const std::string scene = pattern + "/" + model.stem().string() + ".vkg";
  if (!vkg::saveSceneFile(converted.scene, scene) || !modelimport::writePictures(converted.pictures, pattern, options)) {
    std::fprintf(stderr, "demoengine: --view: the converted model cannot be written to %s\n", pattern.c_str());
    return false;
  }
  view.sceneFile = scene;
  view.compressedFolder = view.textureFolder = pattern + "/";
  return true;
}

}  // namespace

bool prepareView(const std::string& file, ViewedScene& view) {
  const fs::path path = fs::absolute(file);
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    std::fprintf(stderr, "demoengine: --view %s: no such file\n", file.c_str());
    return false;
  }
  view = ViewedScene{};
  if (lowerExtension(path) != ".vkg") return convertIntoTemporaryFolder(path, view);

  const fs::path folder = path.parent_path();
  if (folder.filename() == "scenes" && folder.parent_path().filename() == "data") {
    // A scene of a demo tree plays as the demo would play it.
    view.workingDirectory = folder.parent_path().parent_path().string();
    view.sceneFile = "data/scenes/" + path.filename().string();
    view.compressedFolder = "data/texturesCompressed/";
    view.textureFolder = "data/textures/";
  } else {
    view.sceneFile = path.string();
    view.compressedFolder = view.textureFolder = folder.string() + "/";
  }
  return true;
}

std::string viewScript(const std::string& sceneName, uint32_t end) {
  const std::string e = std::to_string(end);
  return "__HEADER__\n"
         "DEMO_START 0\n"
         "DEMO_END " + e + "\n"
         "__SETUP__\n"
         "INSERT_EFFECT Clear AS view_clear\n"
         "INSERT_EFFECT Scene AS view_scene\n"
         "0 s view_scene Datafile \"" + sceneName + "\"\n"
         "__TIMELINE__\n"
         "0 s view_clear Red 0.2\n"
         "0 s view_clear Green 0.2\n"
         "0 s view_clear Blue 0.25\n"
         "0 b view_clear\n" +
         e + " e view_clear\n"
         "0 s view_scene Speed 5\n"
         "0 s view_scene Loop 1\n"
         "0 i view_scene\n"
         "0 b view_scene\n" +
         e + " e view_scene\n";
}

void runViewMode(RunContext& run) {
  const CommandLineOptions& options = run.options;
  CaptureSession* capture = run.capture;
  const ViewedScene& view = *run.view;
  Scene* scene = SceneLoaderVKG::load(view.sceneFile, view.compressedFolder, view.textureFolder);
  if (!scene) {
    std::fprintf(stderr, "demoengine: --view %s: could not load scene: %s\n", options.viewFile.c_str(),
                 SceneLoaderVKG::lastFailure().c_str());
    run.exitCode = 1;
    return;
  }
  if (scene->cameraCount() == 0) {
    std::fprintf(stderr, "demoengine: --view %s: no camera in scene (vkg convert gives every model one)\n",
                 options.viewFile.c_str());
    run.exitCode = 1;
    return;
  }
  // The timeline names the scene briefly; the cache hands it the scene loaded above.
  SceneManager::instance().addScene(kViewedSceneName, scene);
  // One pass through the animation, from the first key to the last.
  const uint32_t lastKey =
      static_cast<uint32_t>(std::max(0, scene->getFrameCount() - 1) * std::max(0, scene->getFrameDuration()));
  std::optional<uint32_t> endMs = options.endMs;
  if (!endMs && (capture || options.headless)) endMs = lastKey;
  const std::string script = viewScript(kViewedSceneName, std::max(kViewLength, endMs.value_or(0)));

  bool first = true;
  for (;;) {
    demoClock.clearSeek();
    // What loadScript does around a load: a reload builds what a fresh start builds.
    demoSrand(1);
    lastPatternStep = 1000;
    timelineScriptLoader().loadText(script, *effectRegistry, *eventList);
    const uint32_t start = first && options.startMs ? *options.startMs : 0;
    demoClock.setBaseOffset(start);
    demoClock.restart();
    if (first && capture && !capture->start(run.width, run.height, &run.exitCode, endMs)) quitRequested = true;
    first = false;
    inputEnabled = true;

    const LoopExit exit = playFrames(run, endMs);
    if (exit == LoopExit::Quit) break;
  }
}
