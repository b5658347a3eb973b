#include "platform/DialogBackend.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include "imgui.h"
#include "imgui_impl_opengl2.h"
#include "imgui_impl_sdl.h"
#include "platform/Window.h"

namespace platform {

bool dialogBackendInit(Window* window, GlContext* context) {
  return ImGui_ImplSDL2_InitForOpenGL(reinterpret_cast<SDL_Window*>(window), context) &&
         ImGui_ImplOpenGL2_Init();
}

void dialogBackendShutdown() {
  ImGui_ImplOpenGL2_Shutdown();
  ImGui_ImplSDL2_Shutdown();
}

bool dialogBackendPumpEvents() {
  bool closed = false;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    ImGui_ImplSDL2_ProcessEvent(&event);
    if (event.type == SDL_QUIT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
      closed = true;
  }
  return closed;
}

void dialogBackendNewFrame() {
  ImGui_ImplOpenGL2_NewFrame();
  ImGui_ImplSDL2_NewFrame();
}

void dialogBackendRender(Window* window) {
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(reinterpret_cast<SDL_Window*>(window), &w, &h);
  glViewport(0, 0, w, h);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

// The SDL backend of this ImGui files keys under their SDL scancodes.
int dialogLetterKey(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return -1;
  return SDL_SCANCODE_A + (letter - 'A');
}

}  // namespace platform

namespace platform {

bool overlayRendererInit() { return ImGui_ImplOpenGL2_Init(); }

void overlayRendererShutdown() { ImGui_ImplOpenGL2_Shutdown(); }

void overlayRendererNewFrame() { ImGui_ImplOpenGL2_NewFrame(); }

void overlayRendererDraw() { overlayRendererDraw(ImGui::GetDrawData(), screenFramebuffer()); }

void overlayRendererDraw(ImDrawData* data, unsigned target) {
  // The renderer restores what it sets itself but draws with client arrays into whatever
  // is bound: the demo's buffers, program and target are put aside around it.
  GLint framebuffer = 0, program = 0, pipeline = 0, arrayBuffer = 0, elementBuffer = 0, unit = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &pipeline);
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
  glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
  glUseProgram(0);
  glBindProgramPipeline(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glActiveTexture(GL_TEXTURE0);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  ImGui_ImplOpenGL2_RenderDrawData(data);
  glPopClientAttrib();
  glPopAttrib();
  glActiveTexture(static_cast<GLenum>(unit));
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLuint>(elementBuffer));
  glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
  glBindProgramPipeline(static_cast<GLuint>(pipeline));
  glUseProgram(static_cast<GLuint>(program));
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
}

}  // namespace platform
