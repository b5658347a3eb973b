#include "platform/Headless.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Headless, GivesSdlAPrivateRuntimeDirectoryWhenNoneIsSet) {
  unsetenv("XDG_RUNTIME_DIR");
  platform::useHeadlessVideo();
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(dir, nullptr);
  struct stat info {};
  ASSERT_EQ(stat(dir, &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  rmdir(dir);
}

TEST(Headless, KeepsAnExistingRuntimeDirectory) {
  setenv("XDG_RUNTIME_DIR", "/somewhere/else", 1);
  platform::useHeadlessVideo();
  EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/somewhere/else");
}

TEST(Headless, SelectsTheOffscreenDriverWhichHasNoScreen) {
  setenv("SDL_VIDEODRIVER", "x11", 1);
  platform::useHeadlessVideo();
  EXPECT_FALSE(platform::videoDriverHasScreen());  // video not running yet
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
  EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
  EXPECT_FALSE(platform::videoDriverHasScreen());
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace
