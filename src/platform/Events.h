#pragma once
// Window messages: the few kinds of event the demo's window procedure distinguishes, taken
// from SDL one at a time. One message handled per frame is the main loop's pace, so the
// queue is read with pollMessage, never drained.

namespace platform {

enum class MessageType {
  None,      // nothing was pending
  Quit,      // the application is asked to end (SDL_QUIT)
  Close,     // the window's close button
  Activate,  // focus gained or lost
  KeyDown,   // includes auto-repeat
  KeyUp,
  Other,
};

enum class Key { None, Escape, Space, Enter, Shift, F1, F2, F3, Left, Right, Other };

struct WindowMessage {
  MessageType type = MessageType::None;
  Key key = Key::None;
};

// Takes at most one pending event off the queue; None when the queue was empty.
WindowMessage pollMessage();

// Queues a Quit for the next pollMessage.
void postQuit();

// Queue a key press or release, or a click on the window's close button, as if the viewer
// had made it (for driving a run in tests); flushMessages drops everything queued.
void postKey(Key key, bool down);
void postWindowClose();
void flushMessages();

// The pointer over the window as the timeline view reads it once a frame: the position (the
// system's, or that of the last button event when the system's has not moved: a queued
// button press carries its own), the left button, and the wheel turned since the last read.
struct PointerState {
  int x = 0;
  int y = 0;
  bool leftDown = false;
  float wheelY = 0;  // up (away from the user) is positive
  float wheelX = 0;
};
PointerState readPointer();
// Queue a left-button press or release at (x, y), or a wheel turn, as if the viewer had.
void postPointerButton(int x, int y, bool down);
void postWheel(float dy);

// Mouse motion comes in floods the demo never reads; leaving it out keeps one-event-per-frame
// from lagging behind the keys.
void ignorePointerMotion();

}  // namespace platform
