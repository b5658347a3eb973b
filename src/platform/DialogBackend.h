#pragma once
// Dear ImGui on a platform window: its input comes from the window's events and it draws
// with fixed-function GL. The dialog code above speaks only ImGui; this is all it needs of
// the windowing system.

struct ImDrawData;

namespace platform {

struct Window;
struct GlContext;

// Starts ImGui's platform and renderer backends on the window (an ImGui context must exist).
bool dialogBackendInit(Window* window, GlContext* context);
void dialogBackendShutdown();
// Hands every pending event to ImGui; true when the window was closed or the program asked
// to quit.
bool dialogBackendPumpEvents();
// Before ImGui::NewFrame.
void dialogBackendNewFrame();
// After ImGui::Render: clears the window and draws ImGui's draw data into it.
void dialogBackendRender(Window* window);

// ImGui's draw data over whatever the window's framebuffer holds (the timeline view over
// the demo): the fixed-function renderer alone, fed no window events. Every GL state it
// touches, bindings included, is left as it was found.
bool overlayRendererInit();
void overlayRendererShutdown();
void overlayRendererNewFrame();
void overlayRendererDraw();
// The same for draw data of the caller's own (lists picked out of ImGui's) into a
// framebuffer of its own (0: the window's), whose size is the draw data's DisplaySize.
void overlayRendererDraw(ImDrawData* data, unsigned framebuffer);

// The index under which ImGui's key table files a letter key ('A'..'Z'), for mnemonics.
int dialogLetterKey(char letter);

}  // namespace platform
