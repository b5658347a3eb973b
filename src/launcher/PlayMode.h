#pragma once
// The demo as a viewer plays it: read from data.vkd, played from its start (or --start) to the
// viewer's Escape, reloaded and started again on Space. A headless run or one with --end ends
// after the frame that reached the end; a capture ends after its last frame.

#include <cstdint>
#include <optional>

#include "launcher/FrameLoop.h"
#include "launcher/RunMode.h"

void runPlayMode(RunContext& run);

// The frames of one load, as every mode that plays a timeline turns them: a capture's frames
// (written, ending after the last), else up to and including the frame that reaches `end`,
// else until the viewer quits or asks for a reload.
LoopExit playFrames(RunContext& run, std::optional<uint32_t> end);
