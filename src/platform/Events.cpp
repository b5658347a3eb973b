#include "platform/Events.h"

#include <SDL2/SDL.h>

namespace platform {

namespace {

struct TrackedPointer {
  PointerState state;
  int systemX = -1, systemY = -1;
  bool placed = false;  // by a button event
};
TrackedPointer pointer;

Key keyFor(SDL_Keycode code) {
  switch (code) {
    case SDLK_ESCAPE: return Key::Escape;
    case SDLK_SPACE: return Key::Space;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return Key::Enter;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return Key::Shift;
    case SDLK_F1: return Key::F1;
    case SDLK_F2: return Key::F2;
    case SDLK_F3: return Key::F3;
    case SDLK_LEFT: return Key::Left;
    case SDLK_RIGHT: return Key::Right;
    default: return Key::Other;
  }
}

WindowMessage translate(const SDL_Event& event) {
  WindowMessage message;
  switch (event.type) {
    case SDL_QUIT: message.type = MessageType::Quit; break;
    case SDL_KEYDOWN:
      message.type = MessageType::KeyDown;
      message.key = keyFor(event.key.keysym.sym);
      break;
    case SDL_KEYUP:
      message.type = MessageType::KeyUp;
      message.key = keyFor(event.key.keysym.sym);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (event.button.button == SDL_BUTTON_LEFT) {
        pointer.state.leftDown = event.type == SDL_MOUSEBUTTONDOWN;
        pointer.state.x = event.button.x;
        pointer.state.y = event.button.y;
        pointer.placed = true;
      }
      message.type = MessageType::Other;
      break;
    case SDL_MOUSEWHEEL:
      pointer.state.wheelY += event.wheel.preciseY;
      pointer.state.wheelX += event.wheel.preciseX;
      message.type = MessageType::Other;
      break;
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: message.type = MessageType::Close; break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST: message.type = MessageType::Activate; break;
        default: message.type = MessageType::Other; break;
      }
      break;
    default: message.type = MessageType::Other; break;
  }
  return message;
}

}  // namespace

WindowMessage pollMessage() {
  // Not SDL_PollEvent: it ends each batch of pumped events with a marker that reads as "no
  // event", which would cost a frame between a close and the quit it queues.
  SDL_PumpEvents();
  SDL_Event event;
  if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) <= 0) return {};
  return translate(event);
}

void postQuit() {
  SDL_Event event{};
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

void postKey(Key key, bool down) {
  SDL_Keycode code = SDLK_UNKNOWN;
  switch (key) {
    case Key::Escape: code = SDLK_ESCAPE; break;
    case Key::Space: code = SDLK_SPACE; break;
    case Key::Enter: code = SDLK_RETURN; break;
    case Key::Shift: code = SDLK_LSHIFT; break;
    case Key::F1: code = SDLK_F1; break;
    case Key::F2: code = SDLK_F2; break;
    case Key::F3: code = SDLK_F3; break;
    case Key::Left: code = SDLK_LEFT; break;
    case Key::Right: code = SDLK_RIGHT; break;
    default: break;
  }
  SDL_Event event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.keysym.sym = code;
  SDL_PushEvent(&event);
}

void postWindowClose() {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&event);
}

void flushMessages() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
}

PointerState readPointer() {
  int x = 0, y = 0;
  SDL_GetMouseState(&x, &y);
  // The first read only learns where the system's pointer stands, unless no button has
  // placed it yet.
  const bool first = pointer.systemX < 0;
  if (x != pointer.systemX || y != pointer.systemY) {
    pointer.systemX = x;
    pointer.systemY = y;
    if (!first || !pointer.placed) {
      pointer.state.x = x;
      pointer.state.y = y;
    }
  }
  PointerState read = pointer.state;
  pointer.state.wheelX = pointer.state.wheelY = 0;
  return read;
}

void postPointerButton(int x, int y, bool down) {
  SDL_Event event{};
  event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.button = SDL_BUTTON_LEFT;
  event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.button.x = x;
  event.button.y = y;
  SDL_PushEvent(&event);
}

void postWheel(float dy) {
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = static_cast<int>(dy);
  event.wheel.preciseY = dy;
  SDL_PushEvent(&event);
}

void ignorePointerMotion() { SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE); }

}  // namespace platform
