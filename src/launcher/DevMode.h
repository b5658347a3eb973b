#pragma once
// --dev: the unpacked tree of the demo being made, played where it is and reloaded in place
// whenever a file it read changes (LiveReload); problems are shown over the picture while the
// version before plays on. Space starts the demo again from its start.

#include "launcher/RunMode.h"

void runDevMode(RunContext& run);
