#include "launcher/LauncherState.h"

bool musicEnabled = true;
bool fullscreenRequested = false;
bool quitRequested = false;
bool inputEnabled = false;
bool reloadRequested = false;
bool paused = false;
bool shiftHeld = false;
bool timelineShown = false;
float seekStep = 10.0f;
