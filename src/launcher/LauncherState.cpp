#include "launcher/LauncherState.h"

int screenWidth = 1024;
int screenHeight = 768;
bool musicEnabled = true;
bool fullscreenRequested = false;
bool quitRequested = false;
bool inputEnabled = false;
bool reloadRequested = false;
bool paused = false;
bool shiftHeld = false;
float seekStep = 10.0f;
bool statsOverlay = false;
GlCaps glCaps;
