// Compiled with the base layer's include folder only: base may not see the demo system.
#include "demoSystem/DemoClock.h"
