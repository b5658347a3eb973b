#include "platform/Window.h"

#include <SDL2/SDL.h>

namespace platform {

// The handles are the SDL objects themselves.
struct Window {};
struct GlContext {};

namespace {

SDL_Window* sdl(Window* window) { return reinterpret_cast<SDL_Window*>(window); }
Window* wrap(SDL_Window* window) { return reinterpret_cast<Window*>(window); }
SDL_GLContext sdl(GlContext* context) { return reinterpret_cast<SDL_GLContext>(context); }
const void* sdl(const GlContext* context) { return reinterpret_cast<const void*>(context); }
GlContext* wrap(SDL_GLContext context) { return reinterpret_cast<GlContext*>(context); }

int videoStarts = 0;

SDL_DisplayMode wantedMode(int width, int height, int colourBits) {
  SDL_DisplayMode wanted{};
  wanted.w = width;
  wanted.h = height;
  wanted.format = colourBits >= 24 ? SDL_PIXELFORMAT_RGB888 : 0;
  return wanted;
}

}  // namespace

bool startVideo() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  ++videoStarts;
  return true;
}

void stopVideo() {
  if (videoStarts == 0) return;
  --videoStarts;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool videoStarted() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

const char* lastError() { return SDL_GetError(); }

bool setFramebufferFormat(int colourBits, int samples) {
  const int channelBits = colourBits >= 24 ? 8 : 5;
  SDL_GL_ResetAttributes();
  bool ok = SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channelBits) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 1) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0) == 0;
  ok = ok && SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples) == 0;
  return ok;
}

Window* createWindow(const char* title, int width, int height, unsigned flags) {
  Uint32 sdlFlags = SDL_WINDOW_OPENGL;
  if (flags & kWindowHidden) sdlFlags |= SDL_WINDOW_HIDDEN;
  if (flags & kWindowFullscreen) sdlFlags |= SDL_WINDOW_FULLSCREEN;
  if (flags & kWindowBorderless) sdlFlags |= SDL_WINDOW_BORDERLESS;
  const int position = (flags & kWindowCentred) ? SDL_WINDOWPOS_CENTERED : 0;
  return wrap(SDL_CreateWindow(title, position, position, width, height, sdlFlags));
}

void destroyWindow(Window* window) {
  if (window) SDL_DestroyWindow(sdl(window));
}

GlContext* createContext(Window* window) { return wrap(SDL_GL_CreateContext(sdl(window))); }

void deleteContext(GlContext* context) {
  if (context) SDL_GL_DeleteContext(sdl(context));
}

bool makeCurrent(Window* window, GlContext* context) {
  return SDL_GL_MakeCurrent(sdl(window), window ? sdl(context) : nullptr) == 0;
}

bool isCurrent(const GlContext* context) { return SDL_GL_GetCurrentContext() == sdl(context); }

void swapWindow(Window* window) { SDL_GL_SwapWindow(sdl(window)); }

void setSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

void showWindow(Window* window) {
  SDL_ShowWindow(sdl(window));
  SDL_RaiseWindow(sdl(window));
}

WindowState windowState(Window* window) {
  WindowState state;
  if (!window) return state;
  SDL_Window* w = sdl(window);
  state.title = SDL_GetWindowTitle(w);
  SDL_GetWindowPosition(w, &state.x, &state.y);
  SDL_GetWindowSize(w, &state.width, &state.height);
  SDL_GL_GetDrawableSize(w, &state.drawableWidth, &state.drawableHeight);
  const Uint32 flags = SDL_GetWindowFlags(w);
  state.opengl = flags & SDL_WINDOW_OPENGL;
  state.shown = flags & SDL_WINDOW_SHOWN;
  state.fullscreen = flags & SDL_WINDOW_FULLSCREEN;
  state.borderless = flags & SDL_WINDOW_BORDERLESS;
  return state;
}

bool closestDisplayMode(int width, int height, int colourBits, DisplayMode* mode) {
  const SDL_DisplayMode wanted = wantedMode(width, height, colourBits);
  SDL_DisplayMode found{};
  if (!SDL_GetClosestDisplayMode(0, &wanted, &found)) return false;
  *mode = {found.w, found.h};
  return true;
}

DisplayMode desktopDisplayMode() {
  SDL_DisplayMode mode{};
  SDL_GetDesktopDisplayMode(0, &mode);
  return {mode.w, mode.h};
}

DisplayMode currentDisplayMode() {
  SDL_DisplayMode mode{};
  SDL_GetCurrentDisplayMode(0, &mode);
  return {mode.w, mode.h};
}

void setFullscreenMode(Window* window, int width, int height, int colourBits) {
  const SDL_DisplayMode wanted = wantedMode(width, height, colourBits);
  SDL_DisplayMode mode{};
  if (SDL_GetClosestDisplayMode(0, &wanted, &mode)) SDL_SetWindowDisplayMode(sdl(window), &mode);
}

void leaveFullscreen(Window* window) {
  if (window) SDL_SetWindowFullscreen(sdl(window), 0);
}

void showCursor(bool shown) { SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }

bool canCreateMultisampled(int colourBits, int samples) {
  if (!setFramebufferFormat(colourBits, samples)) return false;
  SDL_Window* window = SDL_CreateWindow("VelkorConfigWindow", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return false;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  const bool ok = context != nullptr;
  if (context) SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  return ok;
}

void sleepMs(int ms) { SDL_Delay(static_cast<Uint32>(ms)); }

}  // namespace platform
