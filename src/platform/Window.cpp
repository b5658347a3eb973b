#include "platform/Window.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <vector>

#include "platform/Headless.h"

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
int framebufferColourBits = 32;

// [SECTION] The screen in a framebuffer object (headless without an offscreen driver)

// Each context's stand-in for its window: framebuffer objects belong to one context.
struct ContextScreen {
  SDL_GLContext context;
  GLuint framebuffer, colour, depthStencil;
};
std::vector<ContextScreen> contextScreens;
GLuint currentScreen = 0;

GLuint screenOf(SDL_GLContext context) {
  for (const ContextScreen& screen : contextScreens)
    if (screen.context == context) return screen.framebuffer;
  return 0;
}

// In the new context, current on its window: a framebuffer object of the window's size, in the
// format the window was asked for, bound for drawing and reading.
void makeContextScreen(SDL_Window* window, SDL_GLContext context) {
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  ContextScreen screen{context, 0, 0, 0};
  glGenRenderbuffers(1, &screen.colour);
  glBindRenderbuffer(GL_RENDERBUFFER, screen.colour);
  // The offscreen driver's framebuffer on Mesa has 10 bits a channel and 2 of alpha for the
  // format asked for; the stand-in takes the same, so that a headless frame comes out the same
  // on both systems (at 8 bits, blended layers round differently by a level or two).
  glRenderbufferStorage(GL_RENDERBUFFER, framebufferColourBits >= 24 ? GL_RGB10_A2 : GL_RGB5_A1, width, height);
  glGenRenderbuffers(1, &screen.depthStencil);
  glBindRenderbuffer(GL_RENDERBUFFER, screen.depthStencil);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glGenFramebuffers(1, &screen.framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, screen.framebuffer);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, screen.colour);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, screen.depthStencil);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  // A window starts black, and so does its stand-in.
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  contextScreens.push_back(screen);
  currentScreen = screen.framebuffer;
}

// Entry points newer than OpenGL 1.1 are looked up on first call. On Windows the lookup goes
// through wglGetProcAddress, which under Wine asks the current context for its version; between
// glBegin and glEnd a context answers nothing, and the entry point comes back null. The ones
// called between glBegin and glEnd (texture coordinates of several units per vertex) are looked
// up here, outside, as soon as a context is current; the call puts back the coordinates it
// replaced, so the context's state is as before.
void resolveVertexEntryPoints() {
  if (epoxy_gl_version() < 13 && !epoxy_has_gl_extension("GL_ARB_multitexture")) return;
  GLint unit = GL_TEXTURE0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  GLfloat current[4] = {0, 0, 0, 1};
  glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current);
  glMultiTexCoord2f(static_cast<GLenum>(unit), current[0], current[1]);
  glMultiTexCoord4fv(static_cast<GLenum>(unit), current);
}

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
  framebufferColourBits = colourBits;
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
  // A screen in a framebuffer object is never shown, and never takes the display.
  if ((flags & kWindowHidden) || framebufferScreen()) sdlFlags |= SDL_WINDOW_HIDDEN;
  if ((flags & kWindowFullscreen) && !framebufferScreen()) sdlFlags |= SDL_WINDOW_FULLSCREEN;
  if (flags & kWindowBorderless) sdlFlags |= SDL_WINDOW_BORDERLESS;
  const int position = (flags & kWindowCentred) ? SDL_WINDOWPOS_CENTERED : 0;
  return wrap(SDL_CreateWindow(title, position, position, width, height, sdlFlags));
}

void destroyWindow(Window* window) {
  if (window) SDL_DestroyWindow(sdl(window));
}

GlContext* createContext(Window* window) {
  SDL_GLContext context = SDL_GL_CreateContext(sdl(window));
  // SDL makes the new context current.
  if (context) resolveVertexEntryPoints();
  if (context && framebufferScreen()) makeContextScreen(sdl(window), context);
  else currentScreen = 0;
  return wrap(context);
}

void deleteContext(GlContext* context) {
  if (!context) return;
  // The objects go with the context.
  std::erase_if(contextScreens, [&](const ContextScreen& screen) { return screen.context == sdl(context); });
  if (SDL_GL_GetCurrentContext() == sdl(context)) currentScreen = 0;
  SDL_GL_DeleteContext(sdl(context));
}

bool makeCurrent(Window* window, GlContext* context) {
  const bool made = SDL_GL_MakeCurrent(sdl(window), window ? sdl(context) : nullptr) == 0;
  if (made) currentScreen = window ? screenOf(sdl(context)) : 0;
  return made;
}

bool isCurrent(const GlContext* context) { return SDL_GL_GetCurrentContext() == sdl(context); }

void swapWindow(Window* window) { SDL_GL_SwapWindow(sdl(window)); }

void setSwapInterval(int interval) { SDL_GL_SetSwapInterval(interval); }

void showWindow(Window* window) {
  if (framebufferScreen()) return;
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

unsigned screenFramebuffer() { return currentScreen; }
unsigned screenReadBuffer() { return currentScreen ? GL_COLOR_ATTACHMENT0 : GL_BACK; }

}  // namespace platform
