#pragma once
// The demo as a viewer plays it: read from data.vkd, played from its start (or --start) to the
// viewer's Escape, reloaded and started again on Space. A headless run or one with --end ends
// after the frame that reached the end; a capture ends after its last frame.

#include "launcher/RunMode.h"

void runPlayMode(RunContext& run);
