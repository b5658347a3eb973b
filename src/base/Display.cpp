#include "base/Display.h"

int screenWidth = 1024;
int screenHeight = 768;
int fsaaMode = 0;
bool statsOverlay = false;
GlCaps glCaps;
