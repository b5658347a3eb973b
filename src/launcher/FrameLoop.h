#pragma once
// The frame loop every windowed run mode turns: at most one window message a frame, the frame
// at the demo clock's time, the swap; and the keys' way to the clock and the music.

#include <cstdint>
#include <functional>

#include "base/VelkorWindow.h"
#include "platform/Events.h"

// The demo window procedure: the keys of the launcher state machine, through the process's
// clock, music and part list.
MessageResult windowProc(VelkorWindow* window, const platform::WindowMessage& message);

enum class LoopExit { Quit, Reload };

// Frames until a quit or a reload: at most one message per frame, a queued quit ends the
// loop before another frame is rendered. `render` draws the frame at the clock's time,
// `beforeSwap` sees the finished back buffer.
LoopExit runFrames(VelkorWindow& window, const std::function<void(uint32_t)>& render,
                   const std::function<void(uint32_t)>& beforeSwap = {});

// Goes to demo time `ms` as the seek keys do: the music follows unless paused.
void seekPlayback(uint32_t ms);

// The music at demo time `t`, playing unless the viewer paused (nothing with Music off).
void musicAt(uint32_t t);
