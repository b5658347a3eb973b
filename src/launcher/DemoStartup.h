#pragma once
// What every way of running the demo shares before its first frame: the fixed names the
// program works with, the GL driver checks, the loading picture and the load of the script
// with its music. The run modes (PlayMode, DevMode, DemoCheck, …) call these; none of them
// is called back from here.

#include "base/VelkorWindow.h"

// Fixed names the program works with.
constexpr const char* kDemoWindowTitle = "Drellwick - Ombra";
constexpr const char* kArchiveName = "data.vkd";
constexpr const char* kArchivePassword = "lynxa42";
constexpr const char* kLoadingPicture = "data/images/loading1024.jpg";
constexpr const char* kDemoScript = "data/scripts/demo_kx06.script";
constexpr const char* kSoundtrack = "soundtrack.ogg";

// [SECTION] The GL driver

using ExtensionQuery = bool (*)(const char* name);
// Whether the current context offers the extension ("ARB_shadow" asks for GL_ARB_shadow).
bool hasGlExtension(const char* name);

// Reads the GL limits into glCaps and the texture size limit into the texture library.
void queryGlCaps(ExtensionQuery has = hasGlExtension);
// Each required extension missing is the fatal "Extension not supported" naming it; fewer
// than 3 texture units is the fatal "Minimum 3 texture units are required".
void checkExtensions(ExtensionQuery has = hasGlExtension);
// GL_RGB16F_ARB where ARB_texture_float is offered, else the NV float format.
void chooseFloatTextureFormat(ExtensionQuery has = hasGlExtension);

// [SECTION] Loading

// The loading picture over the whole window, without the swap. A picture that cannot be
// loaded leaves an untextured quad in the current colour.
void drawLoadingScreen();
void showLoadingScreen(VelkorWindow& window);

// Starts decoding, on the other cores, the pictures the script names that are not cached yet.
void readPicturesAhead(const char* scriptPath);
// Loads the script and (with music on) starts the sound track at the demo start; the clock
// then reads the demo start time. Without `picturesReadAhead` it starts the read-ahead
// itself; either way the read-ahead ends with the load.
void loadDemo(const char* scriptPath, bool picturesReadAhead = false);
