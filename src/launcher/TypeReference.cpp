#include "launcher/TypeReference.h"

#include <cstdio>
#include <filesystem>

#include "archive/vkd.h"

#include "base/Error.h"
#include "demos/EffectList.h"
#include "demos/EffectReference.h"
#include "launcher/HeadlessContext.h"
#include "launcher/DemoStartup.h"

int printEffectTypes(const CommandLineOptions& options) {
  if (!options.markdown && options.typeName.empty()) {
    std::fputs(effectTypeList(builtInEffectTypes()).c_str(), stdout);
    return 0;
  }
  HeadlessContext context(64, 64);
  if (!context.ok()) {
    std::fprintf(stderr, "demoengine: --types builds each type in an OpenGL context: %s\n", platform::lastError());
    return 1;
  }
  queryGlCaps();
  checkExtensions();
  chooseFloatTextureFormat();
  // The types load their fixed pictures and scenes when they are built: from the demo here.
  if (std::filesystem::exists(kArchiveName)) openArchive(kArchiveName, kArchivePassword);
  else setDiskNamesLikeArchive(true);
  const std::string text = options.markdown ? effectTypeReference(builtInEffectTypes())
                                            : effectTypeDetails(builtInEffectTypes(), options.typeName);
  if (text.empty()) {
    std::fprintf(stderr, "demoengine: --types %s: no such effect type; the types are:\n%s", options.typeName.c_str(),
                 effectTypeList(builtInEffectTypes()).c_str());
    return 1;
  }
  std::fputs(text.c_str(), stdout);
  return 0;
}
