#include "launcher/SettingsDialog.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>

#include "base/Error.h"
#include "imgui.h"
#include "imgui_impl_opengl2.h"
#include "imgui_impl_sdl.h"

namespace {

constexpr float kBoxWidth = 150.0f;
constexpr float kRightColumn = 200.0f;
// The platform backend files keys under their SDL scancodes.
constexpr int kMnemonicF = SDL_SCANCODE_F;
constexpr int kMnemonicM = SDL_SCANCODE_M;

void copyToBuffer(const std::string& text, char* buffer, size_t size) {
  std::snprintf(buffer, size, "%s", text.c_str());
}

bool keyPressed(ImGuiKey key) {
  const int index = ImGui::GetKeyIndex(key);
  return index >= 0 && ImGui::IsKeyPressed(index, false);
}

}  // namespace

void SettingsDialog::initDialog(const bool supported[4]) {
  resolutionItems_ = {"640x480", "800x600", "1024x768", "1280x1024"};
  resolutionText_ = resolutionItems_[1];
  copyToBuffer(resolutionText_, resolutionBuffer_, sizeof resolutionBuffer_);

  fsaaItems_ = {"No FSAA"};
  static constexpr const char* kModes[4] = {"2X FSAA", "4X FSAA", "6X FSAA", "8X FSAA"};
  for (int i = 0; i < 4; ++i)
    if (supported[i]) fsaaItems_.push_back(kModes[i]);
  fsaaText_ = fsaaItems_[0];
  copyToBuffer(fsaaText_, fsaaBuffer_, sizeof fsaaBuffer_);
}

void SettingsDialog::remember(Control control) {
  const ImVec2 min = ImGui::GetItemRectMin();
  const ImVec2 max = ImGui::GetItemRectMax();
  rects_[control] = {min.x, min.y, max.x, max.y};
}

// A list box whose text can also be typed: the text field, then an arrow that opens the
// list. Picking an entry replaces the text.
bool SettingsDialog::comboWithText(const char* id, std::string* text, char* buffer,
                                   const std::vector<std::string>& items, Control edit, Control list) {
  ImGui::PushID(id);
  bool changed = false;
  ImGui::SetNextItemWidth(kBoxWidth - ImGui::GetFrameHeight());
  // Clicking into the field selects the old text, so typing replaces it.
  if (ImGui::InputText("##text", buffer, 64, ImGuiInputTextFlags_AutoSelectAll)) {
    *text = buffer;
    changed = true;
  }
  remember(edit);
  ImGui::SameLine(0.0f, 0.0f);
  if (ImGui::BeginCombo("##list", nullptr, ImGuiComboFlags_NoPreview)) {
    for (const std::string& item : items) {
      if (ImGui::Selectable(item.c_str(), item == *text)) {
        *text = item;
        copyToBuffer(item, buffer, 64);
        changed = true;
      }
      const ImVec2 min = ImGui::GetItemRectMin();
      const ImVec2 max = ImGui::GetItemRectMax();
      listItemRects_.push_back({min.x, min.y, max.x, max.y});
    }
    ImGui::EndCombo();
  }
  // The arrow's rectangle; the popup (when open) is a window of its own.
  rects_[list] = {rects_[edit].x1, rects_[edit].y0, rects_[edit].x1 + ImGui::GetFrameHeight(), rects_[edit].y1};
  ImGui::PopID();
  return changed;
}

DialogResult SettingsDialog::frame() {
  listItemRects_.clear();
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
  ImGui::SetNextWindowSize(io.DisplaySize);
  ImGui::Begin(kTitle, nullptr,
               ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                   ImGuiWindowFlags_NoSavedSettings);

  comboWithText("resolution", &resolutionText_, resolutionBuffer_, resolutionItems_, ResolutionEdit, ResolutionList);
  ImGui::SameLine(kRightColumn);
  ImGui::Checkbox("Fullscreen", &fullscreen);
  remember(FullscreenBox);

  comboWithText("fsaa", &fsaaText_, fsaaBuffer_, fsaaItems_, FsaaEdit, FsaaList);
  ImGui::SameLine(kRightColumn);
  ImGui::Checkbox("Music", &music);
  remember(MusicBox);

  ImGui::Spacing();
  const bool launch = ImGui::Button("Launch", ImVec2(kBoxWidth, 0.0f));
  remember(LaunchButton);
  ImGui::SameLine(kRightColumn);
  const bool escape = ImGui::Button("Escape", ImVec2(-1.0f, 0.0f));
  remember(EscapeButton);
  ImGui::End();

  // The boxes keep their mnemonics: Alt+F flips Fullscreen, Alt+M flips Music.
  if (io.KeyAlt && ImGui::IsKeyPressed(kMnemonicF, false)) fullscreen = !fullscreen;
  if (io.KeyAlt && ImGui::IsKeyPressed(kMnemonicM, false)) music = !music;

  // Launch is the default button: Enter anywhere in the dialog presses it.
  if (launch || keyPressed(ImGuiKey_Enter) || keyPressed(ImGuiKey_KeyPadEnter)) return DialogResult::Launch;
  if (escape || keyPressed(ImGuiKey_Escape)) return DialogResult::Escape;
  return DialogResult::Open;
}

DialogResult SettingsDialog::doModal() {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    reportErrorText(DE_HERE, "Could not open the settings dialog", SDL_GetError(), true);
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_Window* window = SDL_CreateWindow(kTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth, kHeight,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
  if (!context) reportErrorText(DE_HERE, "Could not open the settings dialog", SDL_GetError(), true);
  SDL_GL_MakeCurrent(window, context);
  SDL_GL_SetSwapInterval(1);

  IMGUI_CHECKVERSION();
  ImGuiContext* gui = ImGui::CreateContext();
  ImGui::GetIO().IniFilename = nullptr;
  ImGui::StyleColorsDark();
  ImGui_ImplSDL2_InitForOpenGL(window, context);
  ImGui_ImplOpenGL2_Init();

  DialogResult result = DialogResult::Open;
  while (result == DialogResult::Open) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      ImGui_ImplSDL2_ProcessEvent(&event);
      if (event.type == SDL_QUIT ||
          (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
        result = DialogResult::Escape;
    }
    if (result != DialogResult::Open) break;
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    result = frame();
    ImGui::Render();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    glViewport(0, 0, w, h);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window);
    // Swap intervals are not honoured everywhere (virtual displays); a dialog needs no more
    // than about 60 frames a second.
    SDL_Delay(15);
  }

  ImGui_ImplOpenGL2_Shutdown();
  ImGui_ImplSDL2_Shutdown();
  ImGui::DestroyContext(gui);
  SDL_GL_MakeCurrent(window, nullptr);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return result;
}
