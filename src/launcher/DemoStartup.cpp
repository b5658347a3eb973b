#include "launcher/DemoStartup.h"

#include <epoxy/gl.h>

#include <string>
#include <vector>

#include "base/Error.h"
#include "demoSystem/DemoClock.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/LauncherState.h"
#include "resources/ImageLibrary.h"
#include "resources/ImagePrefetch.h"
#include "resources/Texture.h"

// [SECTION] The GL driver

bool hasGlExtension(const char* name) {
  const std::string full = std::string("GL_") + name;
  return epoxy_has_gl_extension(full.c_str());
}

void queryGlCaps(ExtensionQuery has) {
  glCaps = GlCaps{};
  glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &glCaps.maxTextureUnits);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glCaps.maxTextureSize);
  if (has("ARB_vertex_program"))
    glGetProgramivARB(GL_VERTEX_PROGRAM_ARB, GL_MAX_PROGRAM_INSTRUCTIONS_ARB,
                      &glCaps.maxVertexProgramInstructions);
  if (has("ARB_fragment_program"))
    glGetProgramivARB(GL_FRAGMENT_PROGRAM_ARB, GL_MAX_PROGRAM_INSTRUCTIONS_ARB,
                      &glCaps.maxFragmentProgramInstructions);
  maxTextureSize = glCaps.maxTextureSize;
}

void checkExtensions(ExtensionQuery has) {
  // Render targets are framebuffer objects only, so the pbuffer and render-texture
  // window-system extensions are not asked for.
  static constexpr const char* kRequired[] = {
      "EXT_framebuffer_object", "ARB_multitexture", "ARB_depth_texture",
      "ARB_shadow",             "ARB_fragment_program", "ARB_vertex_program",
      "ARB_texture_compression",
  };
  for (const char* name : kRequired)
    if (!has(name)) reportErrorText(DE_HERE, "Extension not supported", name, true);
  if (glCaps.maxTextureUnits < 3) reportError(DE_HERE, "Minimum 3 texture units are required", true);
}

void chooseFloatTextureFormat(ExtensionQuery has) {
  floatTextureFormat = has("ARB_texture_float") ? GL_RGB16F_ARB : GL_FLOAT_RGB16_NV;
}

// [SECTION] Loading

void drawLoadingScreen() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  Texture* picture = TextureManager::instance().getTexture(kLoadingPicture, "", GL_TEXTURE_2D, 0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, 1.0, 0.0, 1.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Without a picture texture object 0 is bound: incomplete, so the quad takes the current
  // colour.
  if (picture) picture->bind();
  else glBindTexture(GL_TEXTURE_2D, 0);
  glEnable(GL_TEXTURE_2D);
  // Picture rows run top to bottom: texture (0,0) is the top-left corner of the screen.
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(0.0f, 1.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex2f(1.0f, 0.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex2f(0.0f, 0.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void showLoadingScreen(VelkorWindow& window) {
  drawLoadingScreen();
  window.swapBuffers();
}

void readPicturesAhead(const char* scriptPath) {
  std::vector<std::string> pictures = quotedNamesInScript(scriptPath);
  std::erase_if(pictures, [](const std::string& name) { return TextureManager::instance().useCount(name) > 0; });
  startImagePrefetch(pictures, decodeImageFile);
}

void loadDemo(const char* scriptPath, bool picturesReadAhead) {
  if (musicEnabled) pauseMusic();
  // Pictures the script names decode on the other cores while it is read; a reload asks
  // only for the ones not in the texture cache already.
  if (!picturesReadAhead) readPicturesAhead(scriptPath);
  loadScript(scriptPath);
  endImagePrefetch();
  if (musicEnabled && initSound()) {
    if (openMusic(kSoundtrack)) {
      setMusicTime(demoStartTime);
      playMusic();
    }
  }
  demoClock.setBaseOffset(demoStartTime);
  demoClock.restart();
}
