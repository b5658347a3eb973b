#pragma once
// The timeline view of --dev (F3, or --timeline from the start): the script's shape drawn
// with Dear ImGui over the playing demo. A panel along the bottom of the window holds a time
// axis with the beat grid (DEMO_BEAT), the parts (DEFINE_DEMO_PART) as labelled bands, one
// row per effect instance in drawing order with a bar wherever it is on, and the play
// position as a line. A press or drag on the axis seeks; the wheel zooms about the pointer,
// a drag on the part bands scrolls, the wheel over the names scrolls the rows; hovering a bar names the BEGIN and END statements behind
// it; a click on a row selects it: its variables are listed at the play position and each
// keyed float variable's curve is drawn under the rows, a driving sync track's keys in
// another colour.
//
// What changes only with zoom, scroll, selection, window size or the demo itself (axis, parts,
// beat grid, names, bars, curves) is drawn once into a texture of the panel's size and
// copied under each frame's moving parts (play line, values, tooltip); it is drawn again
// only when a fingerprint of what it shows changes.
//
// The view only reads the demo: values are interpolated from the key lists here, never
// through evaluate(), which moves the variables' cursors and change marks. Its zoom, scroll
// and selection (by instance name) outlive a reload.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Events.h"

class Effect;
class EffectRegistry;
struct ImGuiContext;
struct ImDrawList;
struct ImVec2;
struct ScriptedInsert;
struct ActiveSwitch;

// What the view draws: the demo as the last load left it.
struct TimelineScene {
  const std::vector<Effect*>& effects;
  const std::vector<ScriptedInsert>& inserts;
  const std::vector<ActiveSwitch>& switches;
  const std::vector<uint32_t>& parts;
  uint32_t endTime;
  uint32_t beat;
};

class TimelineView {
 public:
  // The panel's geometry in window pixels (y down), for whoever checks what it draws.
  static constexpr float kLabelWidth = 160;
  static constexpr float kRightMargin = 8;
  static constexpr float kAxisHeight = 20;
  static constexpr float kPartHeight = 16;
  static constexpr float kRowHeight = 16;
  static constexpr float kCurveHeight = 48;
  static constexpr float kBarInset = 3;       // a bar leaves this much of its row free above and below
  static constexpr float kPlayLineWidth = 2;  // the line covers [x - 1, x + 1)
  static constexpr float kPanelColour[4] = {0.06f, 0.06f, 0.08f, 1.0f};  // opaque
  static constexpr float kBarColour[4] = {0.25f, 0.6f, 1.0f, 1.0f};
  static constexpr float kSelectedBarColour[4] = {1.0f, 0.55f, 0.2f, 1.0f};
  static constexpr float kPlayLineColour[4] = {1.0f, 0.9f, 0.1f, 1.0f};
  static constexpr float kPartColours[2][4] = {{0.45f, 0.2f, 0.55f, 1.0f}, {0.2f, 0.45f, 0.55f, 1.0f}};
  static constexpr float kSyncKeyColour[4] = {1.0f, 0.3f, 0.6f, 1.0f};

  TimelineView();
  ~TimelineView();
  TimelineView(const TimelineView&) = delete;
  TimelineView& operator=(const TimelineView&) = delete;

  // One frame over the finished demo frame of a width × height window at demo time `now`.
  // `seek` is called with the time a press or drag on the axis points at.
  void draw(int width, int height, uint32_t now, const TimelineScene& scene, const platform::PointerState& pointer,
            const std::function<void(uint32_t)>& seek);

  // draw() in its two halves: the frame's draw lists and the pointer's effect (false when
  // there is nothing to draw), then the GL drawing of them.
  bool build(int width, int height, uint32_t now, const TimelineScene& scene, const platform::PointerState& pointer,
             const std::function<void(uint32_t)>& seek);
  void render();

  // Off: everything drawn afresh every frame, as before the texture (the benchmark's
  // comparison). On by default.
  void setCached(bool cached) { cached_ = cached; }
  // How often the texture has been drawn, for whoever checks it is not redrawn every frame.
  uint64_t staticDraws() const { return staticDraws_; }

  // The visible span (zoom and scroll) and the selected instance ("" for none).
  double viewStart() const { return start_; }
  double viewSpan() const { return span_; }
  const std::string& selected() const { return selected_; }

 private:
  struct Layout;
  Layout layoutFor(int width, int height, const TimelineScene& scene) const;
  void clearPanel(int width, int height, unsigned framebuffer);
  void handlePointer(const Layout& layout, const TimelineScene& scene, const platform::PointerState& pointer,
                     const std::function<void(uint32_t)>& seek);
  uint64_t staticKey(const Layout& layout, const TimelineScene& scene) const;
  void drawStatic(const Layout& layout, const TimelineScene& scene, ImDrawList* d);
  void drawTooltip(const Layout& layout, const TimelineScene& scene, const platform::PointerState& pointer);
  void drawCurves(const Layout& layout, const Effect& effect, ImDrawList* d);
  bool prepareTarget(int width, int height);
  void releaseTarget();
  void drawVariables(int width, const Layout& layout, uint32_t now, const TimelineScene& scene);

  ImGuiContext* context_ = nullptr;
  bool rendererReady_ = false;
  bool fontFiltered_ = false;
  float panelTop_ = 0;
  size_t firstRow_ = 0;
  double start_ = 0;
  double span_ = 0;  // 0 until the first frame fits the whole demo
  std::string selected_;
  enum class Drag { None, Seek, Scroll, Other } drag_ = Drag::None;
  int dragX_ = 0;
  std::vector<ImVec2> points_;  // scratch of the curves, kept to allocate nothing a frame

  // The texture of the unchanging part and what it was drawn from.
  bool cached_ = true;
  bool staticDirty_ = false;  // this frame's background list holds a new picture for it
  bool keyValid_ = false;
  uint64_t key_ = 0, pendingKey_ = 0;
  uint64_t staticDraws_ = 0;
  unsigned framebuffer_ = 0, texture_ = 0;
  int targetWidth_ = 0, targetHeight_ = 0;
  ImDrawList* staticList_ = nullptr;  // ImGui's lists of this frame: the texture's
  ImDrawList* lineList_ = nullptr;    // and the play line's
  std::vector<ImDrawList*> lists_;    // the frame's lists without the texture's, kept
};
