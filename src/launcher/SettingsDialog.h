#pragma once
// The launch settings dialog: resolution and FSAA boxes (lists whose text can also be
// typed), Fullscreen and Music check boxes, Launch and Escape. Drawn with Dear ImGui in a
// small window of its own; `frame` holds the whole behaviour, so it runs just as well in a
// test that feeds ImGui synthetic input without any window.

#include <string>
#include <vector>

struct ImVec2;

enum class DialogResult { Open, Launch, Escape };

class SettingsDialog {
 public:
  static constexpr const char* kTitle = "VelkorLauncher - OMBRA";

  // Fills the boxes: the four resolutions with "800x600" selected; "No FSAA" and each mode
  // the probe found supported (flags for 2, 4, 6, 8 samples), the first selected.
  void initDialog(const bool fsaaSupported[4]);

  // The dialog's widgets for one ImGui frame (between NewFrame and Render). Enter (main or
  // keypad) is the default button Launch; Escape is Escape.
  DialogResult frame();

  // Runs the dialog modally in its own window until Launch, Escape or closing the window
  // (which counts as Escape). A dialog that cannot open is the fatal "Could not open the
  // settings dialog".
  DialogResult doModal();

  // Data exchange: what start-up reads after Launch.
  const std::string& resolutionText() const { return resolutionText_; }
  const std::string& fsaaText() const { return fsaaText_; }
  bool fullscreen = false;
  bool music = true;

  const std::vector<std::string>& resolutionItems() const { return resolutionItems_; }
  const std::vector<std::string>& fsaaItems() const { return fsaaItems_; }

  // Where the last frame put each control, in ImGui screen coordinates (for tests that
  // click them).
  struct Rect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float centreX() const { return (x0 + x1) / 2; }
    float centreY() const { return (y0 + y1) / 2; }
  };
  enum Control { ResolutionEdit, ResolutionList, FsaaEdit, FsaaList, FullscreenBox, MusicBox, LaunchButton, EscapeButton, ControlCount };
  Rect controlRect(Control control) const { return rects_[control]; }
  // The entries of the list that is open in the last frame (empty when none is open).
  const std::vector<Rect>& openListItemRects() const { return listItemRects_; }

  // The client size the dialog window opens with.
  static constexpr int kWidth = 340;
  static constexpr int kHeight = 108;

 private:
  bool comboWithText(const char* id, std::string* text, char* buffer, const std::vector<std::string>& items,
                     Control edit, Control list);
  void remember(Control control);

  std::vector<std::string> resolutionItems_;
  std::vector<std::string> fsaaItems_;
  std::string resolutionText_;
  std::string fsaaText_;
  char resolutionBuffer_[64] = {};
  char fsaaBuffer_[64] = {};
  Rect rects_[ControlCount];
  std::vector<Rect> listItemRects_;
};
