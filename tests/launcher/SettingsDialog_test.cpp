#include "launcher/SettingsDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imgui.h"
#include "launcher/LaunchSettings.h"
#include "platform/DialogBackend.h"

namespace {

// ImGui without any window or renderer: the dialog is driven frame by frame with synthetic
// mouse and keyboard input, exactly as the platform backend would feed it.
class SettingsDialogTest : public testing::Test {
 protected:
  enum KeySlot { kEnter = 1, kKeypadEnter, kEscape, kBackspace, kDelete, kEnd, kHome, kA };

  void SetUp() override {
    context = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(SettingsDialog::kWidth, SettingsDialog::kHeight);
    io.DeltaTime = 1.0f / 60.0f;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsAlpha8(&pixels, &w, &h);
    io.KeyMap[ImGuiKey_Enter] = kEnter;
    io.KeyMap[ImGuiKey_KeyPadEnter] = kKeypadEnter;
    io.KeyMap[ImGuiKey_Escape] = kEscape;
    io.KeyMap[ImGuiKey_Backspace] = kBackspace;
    io.KeyMap[ImGuiKey_Delete] = kDelete;
    io.KeyMap[ImGuiKey_End] = kEnd;
    io.KeyMap[ImGuiKey_Home] = kHome;
    io.KeyMap[ImGuiKey_A] = kA;
    const bool none[4] = {false, false, false, false};
    dialog.initDialog(none);
  }
  void TearDown() override { ImGui::DestroyContext(context); }

  DialogResult frame() {
    ImGui::NewFrame();
    const DialogResult result = dialog.frame();
    ImGui::Render();
    return result;
  }

  // Press on one frame, release on the next: ImGui buttons act on the release.
  DialogResult click(SettingsDialog::Control control) {
    if (last.empty()) frame();
    return clickAt(dialog.controlRect(control).centreX(), dialog.controlRect(control).centreY());
  }
  DialogResult clickAt(float x, float y) {
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = ImVec2(x, y);
    frame();
    io.MouseDown[0] = true;
    frame();
    io.MouseDown[0] = false;
    const DialogResult result = frame();
    last = "clicked";
    return result;
  }
  DialogResult pressKey(int slot) {
    ImGuiIO& io = ImGui::GetIO();
    io.KeysDown[slot] = true;
    const DialogResult result = frame();
    io.KeysDown[slot] = false;
    frame();
    return result;
  }
  // A new popup sizes and places itself over its first frames.
  void settle() {
    frame();
    frame();
  }
  void type(const char* text) {
    ImGui::GetIO().AddInputCharactersUTF8(text);
    frame();
  }

  ImGuiContext* context = nullptr;
  SettingsDialog dialog;
  std::string last;
};

TEST_F(SettingsDialogTest, DefaultsAre800x600NoFsaaWindowedWithMusic) {
  EXPECT_EQ(dialog.resolutionItems(), (std::vector<std::string>{"640x480", "800x600", "1024x768", "1280x1024"}));
  EXPECT_EQ(dialog.resolutionText(), "800x600");
  EXPECT_EQ(dialog.fsaaText(), "No FSAA");
  EXPECT_FALSE(dialog.fullscreen);
  EXPECT_TRUE(dialog.music);
  EXPECT_EQ(frame(), DialogResult::Open);
}

TEST_F(SettingsDialogTest, OnlySupportedFsaaModesAreOffered) {
  EXPECT_EQ(dialog.fsaaItems(), (std::vector<std::string>{"No FSAA"}));
  const bool twoAndFour[4] = {true, true, false, false};
  SettingsDialog other;
  other.initDialog(twoAndFour);
  EXPECT_EQ(other.fsaaItems(), (std::vector<std::string>{"No FSAA", "2X FSAA", "4X FSAA"}));
  EXPECT_EQ(other.fsaaText(), "No FSAA");
  const bool all[4] = {true, true, true, true};
  other.initDialog(all);
  EXPECT_EQ(other.fsaaItems(), (std::vector<std::string>{"No FSAA", "2X FSAA", "4X FSAA", "6X FSAA", "8X FSAA"}));
}

TEST_F(SettingsDialogTest, LaunchUntouchedStarts800x600WindowedWithMusicWithoutFsaa) {
  EXPECT_EQ(click(SettingsDialog::LaunchButton), DialogResult::Launch);
  const LaunchSettings s = settingsFromDialog(dialog.resolutionText(), dialog.fsaaText(), dialog.fullscreen, dialog.music);
  EXPECT_EQ(s.width, 800);
  EXPECT_EQ(s.height, 600);
  EXPECT_EQ(s.fsaa, 0);
  EXPECT_FALSE(s.fullscreen);
  EXPECT_TRUE(s.music);
}

TEST_F(SettingsDialogTest, EnterIsTheDefaultButtonAndEscapeCancels) {
  frame();
  EXPECT_EQ(pressKey(kEnter), DialogResult::Launch);
  EXPECT_EQ(pressKey(kKeypadEnter), DialogResult::Launch);
  EXPECT_EQ(pressKey(kEscape), DialogResult::Escape);
  EXPECT_EQ(click(SettingsDialog::EscapeButton), DialogResult::Escape);
}

TEST_F(SettingsDialogTest, CheckBoxesToggle) {
  EXPECT_EQ(click(SettingsDialog::FullscreenBox), DialogResult::Open);
  EXPECT_TRUE(dialog.fullscreen);
  click(SettingsDialog::MusicBox);
  EXPECT_FALSE(dialog.music);
  click(SettingsDialog::FullscreenBox);
  EXPECT_FALSE(dialog.fullscreen);
}

TEST_F(SettingsDialogTest, AltWithTheUnderlinedLetterFlipsTheCheckBoxes) {
  frame();
  ImGuiIO& io = ImGui::GetIO();
  io.KeyAlt = true;
  pressKey(platform::dialogLetterKey('F'));
  EXPECT_TRUE(dialog.fullscreen);
  pressKey(platform::dialogLetterKey('M'));
  EXPECT_FALSE(dialog.music);
  io.KeyAlt = false;
  pressKey(platform::dialogLetterKey('F'));
  EXPECT_TRUE(dialog.fullscreen);  // a plain F is not a mnemonic
}

TEST_F(SettingsDialogTest, PickingFromTheListsSetsTheTexts) {
  const bool twoAndFour[4] = {true, true, false, false};
  dialog.initDialog(twoAndFour);
  click(SettingsDialog::ResolutionList);
  settle();
  ASSERT_EQ(dialog.openListItemRects().size(), 4u);
  const auto item = dialog.openListItemRects()[3];
  clickAt(item.centreX(), item.centreY());
  EXPECT_EQ(dialog.resolutionText(), "1280x1024");

  click(SettingsDialog::FsaaList);
  settle();
  ASSERT_EQ(dialog.openListItemRects().size(), 3u);
  const auto four = dialog.openListItemRects()[2];
  clickAt(four.centreX(), four.centreY());
  EXPECT_EQ(dialog.fsaaText(), "4X FSAA");

  EXPECT_EQ(click(SettingsDialog::LaunchButton), DialogResult::Launch);
  const LaunchSettings s = settingsFromDialog(dialog.resolutionText(), dialog.fsaaText(), dialog.fullscreen, dialog.music);
  EXPECT_EQ(s.width, 1280);
  EXPECT_EQ(s.height, 1024);
  EXPECT_EQ(s.fsaa, 4);
}

TEST_F(SettingsDialogTest, ATypedResolutionNotInTheListStarts800x600) {
  click(SettingsDialog::ResolutionEdit);  // selects the old text
  type("1920x1080");
  EXPECT_EQ(dialog.resolutionText(), "1920x1080");
  EXPECT_EQ(pressKey(kEnter), DialogResult::Launch);
  const Resolution r = resolutionFromText(dialog.resolutionText());
  EXPECT_EQ(r.width, 800);
  EXPECT_EQ(r.height, 600);
}

TEST_F(SettingsDialogTest, ATypedListedResolutionIsTaken) {
  click(SettingsDialog::ResolutionEdit);
  type("1024x768");
  EXPECT_EQ(dialog.resolutionText(), "1024x768");
  EXPECT_EQ(resolutionFromText(dialog.resolutionText()).width, 1024);
}

}  // namespace
