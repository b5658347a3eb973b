// A base file reaching the demo system through its own folder: the compiler finds it
// (quoted includes look beside the file first), so only the check can refuse it.
#include "../demoSystem/DemoClock.h"
