#include "launcher/SettingsDialog.h"

#include <cstdio>
#include <cstring>

#include "base/Error.h"
#include "imgui.h"
#include "platform/DialogBackend.h"
#include "platform/Window.h"

namespace {

constexpr float kBoxWidth = 150.0f;
constexpr float kRightColumn = 200.0f;

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
  if (io.KeyAlt && ImGui::IsKeyPressed(platform::dialogLetterKey('F'), false)) fullscreen = !fullscreen;
  if (io.KeyAlt && ImGui::IsKeyPressed(platform::dialogLetterKey('M'), false)) music = !music;

  // Launch is the default button: Enter anywhere in the dialog presses it.
  if (launch || keyPressed(ImGuiKey_Enter) || keyPressed(ImGuiKey_KeyPadEnter)) return DialogResult::Launch;
  if (escape || keyPressed(ImGuiKey_Escape)) return DialogResult::Escape;
  return DialogResult::Open;
}

DialogResult SettingsDialog::doModal() {
  if (!platform::startVideo())
    reportErrorText(DE_HERE, "Could not open the settings dialog", platform::lastError(), true);
  // The dialog's own window shares the demo window's framebuffer set-up, without samples.
  platform::setFramebufferFormat(32, 0);
  platform::Window* window = platform::createWindow(kTitle, kWidth, kHeight, platform::kWindowCentred);
  platform::GlContext* context = window ? platform::createContext(window) : nullptr;
  if (!context) reportErrorText(DE_HERE, "Could not open the settings dialog", platform::lastError(), true);
  platform::makeCurrent(window, context);
  platform::setSwapInterval(1);

  IMGUI_CHECKVERSION();
  ImGuiContext* gui = ImGui::CreateContext();
  ImGui::GetIO().IniFilename = nullptr;
  ImGui::StyleColorsDark();
  platform::dialogBackendInit(window, context);

  DialogResult result = DialogResult::Open;
  while (result == DialogResult::Open) {
    if (platform::dialogBackendPumpEvents()) {
      result = DialogResult::Escape;
      break;
    }
    platform::dialogBackendNewFrame();
    ImGui::NewFrame();
    result = frame();
    ImGui::Render();
    platform::dialogBackendRender(window);
    platform::swapWindow(window);
    // Swap intervals are not honoured everywhere (virtual displays); a dialog needs no more
    // than about 60 frames a second.
    platform::sleepMs(15);
  }

  platform::dialogBackendShutdown();
  ImGui::DestroyContext(gui);
  platform::makeCurrent(nullptr, nullptr);
  platform::deleteContext(context);
  platform::destroyWindow(window);
  platform::stopVideo();
  return result;
}
