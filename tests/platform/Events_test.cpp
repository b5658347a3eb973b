#include "platform/Events.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <tuple>

namespace {

using platform::Key;
using platform::MessageType;

class Events : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  void TearDown() override { SDL_QuitSubSystem(SDL_INIT_EVENTS); }

  static void pushKey(Uint32 type, SDL_Keycode key, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.keysym.sym = key;
    event.key.repeat = repeat;
    SDL_PushEvent(&event);
  }
  static void pushWindow(Uint8 what) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    SDL_PushEvent(&event);
  }
};

TEST_F(Events, AnEmptyQueueGivesNone) {
  EXPECT_EQ(platform::pollMessage().type, MessageType::None);
}

TEST_F(Events, OneMessageIsTakenPerCallInQueueOrder) {
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
  pushKey(SDL_KEYUP, SDLK_ESCAPE);
  const auto first = platform::pollMessage();
  EXPECT_EQ(first.type, MessageType::KeyDown);
  EXPECT_EQ(first.key, Key::Escape);
  EXPECT_EQ(platform::pollMessage().type, MessageType::KeyUp);
  EXPECT_EQ(platform::pollMessage().type, MessageType::None);
}

TEST_F(Events, TheKeysOfTheTableAreNamed) {
  const struct {
    SDL_Keycode code;
    Key key;
  } table[] = {{SDLK_ESCAPE, Key::Escape}, {SDLK_SPACE, Key::Space},   {SDLK_RETURN, Key::Enter},
               {SDLK_KP_ENTER, Key::Enter}, {SDLK_LSHIFT, Key::Shift}, {SDLK_RSHIFT, Key::Shift},
               {SDLK_F1, Key::F1},          {SDLK_F2, Key::F2},        {SDLK_LEFT, Key::Left},
               {SDLK_RIGHT, Key::Right},    {SDLK_a, Key::Other},      {SDLK_F3, Key::F3},
               {SDLK_F4, Key::Other}};
  for (const auto& entry : table) {
    pushKey(SDL_KEYDOWN, entry.code);
    EXPECT_EQ(platform::pollMessage().key, entry.key) << SDL_GetKeyName(entry.code);
  }
}

TEST_F(Events, APostedButtonPlacesThePointerAndTheWheelAddsUpUntilRead) {
  platform::postPointerButton(460, 240, true);
  platform::postWheel(1);
  platform::postWheel(0.5f);
  for (int i = 0; i < 3; ++i) platform::pollMessage();
  const platform::PointerState down = platform::readPointer();
  EXPECT_EQ(std::tie(down.x, down.y, down.leftDown, down.wheelY), std::make_tuple(460, 240, true, 1.5f));
  platform::postPointerButton(461, 241, false);
  platform::pollMessage();
  const platform::PointerState up = platform::readPointer();
  EXPECT_EQ(std::tie(up.x, up.y, up.leftDown, up.wheelY), std::make_tuple(461, 241, false, 0.0f));
}

TEST_F(Events, AutoRepeatCountsAsKeyDown) {
  pushKey(SDL_KEYDOWN, SDLK_RIGHT, 1);
  const auto message = platform::pollMessage();
  EXPECT_EQ(message.type, MessageType::KeyDown);
  EXPECT_EQ(message.key, Key::Right);
}

TEST_F(Events, WindowEventsBecomeCloseActivateOrOther) {
  pushWindow(SDL_WINDOWEVENT_CLOSE);
  pushWindow(SDL_WINDOWEVENT_FOCUS_GAINED);
  pushWindow(SDL_WINDOWEVENT_FOCUS_LOST);
  pushWindow(SDL_WINDOWEVENT_MOVED);
  EXPECT_EQ(platform::pollMessage().type, MessageType::Close);
  EXPECT_EQ(platform::pollMessage().type, MessageType::Activate);
  EXPECT_EQ(platform::pollMessage().type, MessageType::Activate);
  EXPECT_EQ(platform::pollMessage().type, MessageType::Other);
}

TEST_F(Events, APostedQuitIsTheVeryNextMessage) {
  pushWindow(SDL_WINDOWEVENT_CLOSE);
  EXPECT_EQ(platform::pollMessage().type, MessageType::Close);
  platform::postQuit();
  EXPECT_EQ(platform::pollMessage().type, MessageType::Quit);
}

}  // namespace
