#include "launcher/TimelineView.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <type_traits>

#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/SyncTrack.h"
#include "imgui.h"
#include "platform/DialogBackend.h"
#include "platform/Window.h"

// [SECTION] Index
// - Values read from the key lists (no evaluate())
// - Layout and time ↔ x
// - Pointer: seek, zoom, scroll, select
// - Drawing: panel, rows, curves, variables

namespace {

// [SECTION] Values read from the key lists (no evaluate())

template <class T>
float stepAt(const NumericVariable<T>& v, uint32_t t) {
  const auto& keys = v.keys.keys();
  if (keys.size() < 2) return static_cast<float>(v.value);
  for (size_t i = 1; i < keys.size(); ++i)
    if (keys[i].time > t) return static_cast<float>(keys[i - 1].value);
  return static_cast<float>(v.value);
}

float floatAt(const FloatVariable& v, uint32_t t) {
  if (v.driver && v.driver->drives()) return v.driver->valueAt(t);
  const auto& keys = v.keys.keys();
  if (keys.size() < 2) return v.value;
  size_t k = 1;
  while (k < keys.size() && keys[k].time < t) ++k;
  if (k == keys.size()) return keys.back().value;
  const auto& p = keys[k - 1];
  const auto& q = keys[k];
  if (t <= p.time) return p.value;
  if (t == q.time) return q.value;
  const float u = static_cast<float>(t - p.time) / static_cast<float>(q.time - p.time);
  if (v.interpolation == Variable::kLinear) return q.value * u + p.value * (1 - u);
  if (v.interpolation == Variable::kEaseIn) return p.value + u * u * (q.value - p.value);
  return v.value;
}

float numberAt(const Variable& v, uint32_t t) {
  switch (v.kind) {
    case Variable::kFloat: return floatAt(static_cast<const FloatVariable&>(v), t);
    case Variable::kBool: return stepAt(static_cast<const BoolVariable&>(v), t);
    default: return stepAt(static_cast<const IntVariable&>(v), t);
  }
}

const std::string& textAt(const StringVariable& v, uint32_t t) {
  const auto& keys = v.keys.keys();
  if (keys.size() < 2) return v.value;
  for (size_t i = 1; i < keys.size(); ++i)
    if (keys[i].time > t) return keys[i - 1].value;
  return v.value;
}

const SyncTrack* drivingTrack(const Variable& v) {
  const auto* track = dynamic_cast<const SyncTrack*>(v.driver);
  return track && track->drives() ? track : nullptr;
}

bool curveShown(const Variable* v) {
  return v->kind == Variable::kFloat &&
         (static_cast<const FloatVariable*>(v)->keys.size() >= 2 || drivingTrack(*v));
}

ImU32 colour(const float (&c)[4]) { return ImGui::ColorConvertFloat4ToU32(ImVec4(c[0], c[1], c[2], c[3])); }

const char* typeOf(const std::vector<ScriptedInsert>& inserts, const std::string& instance) {
  for (const ScriptedInsert& insert : inserts)
    if (insert.instanceName == instance) return insert.typeName.c_str();
  return "?";
}

// Calls `bar(from, to)` for every stretch the instance is on: the step function of its
// `active` keys, where a time past the last key takes the constant.
template <class F>
void forEachBar(const BoolVariable& active, uint32_t endTime, F bar) {
  const auto& keys = active.keys.keys();
  if (keys.size() < 2) {
    if (active.value) bar(0u, endTime);
    return;
  }
  bool on = false;
  uint32_t from = 0;
  auto at = [&](uint32_t time, bool value) {
    if (value && !on) from = time;
    if (!value && on) bar(from, time);
    on = value;
  };
  for (const auto& key : keys) at(key.time, key.value);
  at(keys.back().time, active.value);
  if (on) bar(from, std::max(endTime, keys.back().time));
}

}  // namespace

// [SECTION] Layout and time ↔ x

struct TimelineView::Layout {
  float width, height;
  float top;        // of the panel
  float x0, x1;     // the time axis
  float rowsTop;
  size_t rows;      // the rows that fit
  size_t firstRow;  // the instance in the top row
  float curvesTop;
  size_t curves;
  double msPerPixel;
  float x(double t, double start) const { return x0 + static_cast<float>((t - start) / msPerPixel); }
};

TimelineView::TimelineView() = default;

// The panel's ground is a scissored clear, not a blended quad: on a software rasteriser the
// quad costs more than everything drawn on it.
void TimelineView::clearPanel(int width, int height, unsigned target) {
  GLint box[4];
  GLfloat was[4];
  GLint framebuffer = 0;
  glGetIntegerv(GL_SCISSOR_BOX, box);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, was);
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  GLboolean mask[4];
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
  glEnable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glScissor(0, 0, width, height);
  glClearColor(kPanelColour[0], kPanelColour[1], kPanelColour[2], 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(was[0], was[1], was[2], was[3]);
  glColorMask(mask[0], mask[1], mask[2], mask[3]);
  glScissor(box[0], box[1], box[2], box[3]);
  if (!scissor) glDisable(GL_SCISSOR_TEST);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
}

TimelineView::~TimelineView() {
  if (!context_) return;
  ImGui::SetCurrentContext(context_);
  releaseTarget();
  if (rendererReady_) platform::overlayRendererShutdown();
  ImGui::DestroyContext(context_);
}

// The texture of the panel's unchanging part, made (again) for a panel of this size.
bool TimelineView::prepareTarget(int width, int height) {
  if (framebuffer_ && width == targetWidth_ && height == targetHeight_) return true;
  releaseTarget();
  GLint texture = 0, draw = 0, read = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  GLuint name = 0;
  glGenTextures(1, &name);
  texture_ = name;
  glBindTexture(GL_TEXTURE_2D, texture_);
  // The window's precision (a 10-bit window is common on the software rasteriser), so what
  // is blended into the texture comes out as it would have drawn into the window.
  GLint red = 8;
  glBindFramebuffer(GL_FRAMEBUFFER, platform::screenFramebuffer());
  glGetIntegerv(GL_RED_BITS, &red);
  if (red == 10)
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB10_A2, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, nullptr);
  else
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glGenFramebuffers(1, &name);
  framebuffer_ = name;
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
  const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
  targetWidth_ = width;
  targetHeight_ = height;
  if (!complete) releaseTarget();
  return complete;
}

void TimelineView::releaseTarget() {
  const GLuint framebuffer = framebuffer_, texture = texture_;
  if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
  if (texture) glDeleteTextures(1, &texture);
  framebuffer_ = texture_ = 0;
  targetWidth_ = targetHeight_ = 0;
  keyValid_ = false;
}

TimelineView::Layout TimelineView::layoutFor(int width, int height, const TimelineScene& scene) const {
  Layout l{};
  l.width = static_cast<float>(width);
  l.height = static_cast<float>(height);
  l.x0 = kLabelWidth;
  l.x1 = std::max(l.x0 + 1, l.width - kRightMargin);
  l.msPerPixel = span_ / (l.x1 - l.x0);
  const Effect* selected = nullptr;
  for (const Effect* effect : scene.effects)
    if (effect->getName() == selected_) selected = effect;
  if (selected)
    for (const Variable* v : selected->getVariables()) l.curves += curveShown(v) ? 1 : 0;
  // The panel takes at most two thirds of the window: up to three curve lanes first (while
  // they leave room for four rows), then the rows; what does not fit is left out.
  const float room = l.height * 2 / 3 - kAxisHeight - kPartHeight;
  l.curves = std::min({l.curves, size_t{3}, static_cast<size_t>(std::max(0.0f, (room - 4 * kRowHeight) / kCurveHeight))});
  const float left = room - static_cast<float>(l.curves) * kCurveHeight;
  l.rows = std::min(scene.effects.size(), static_cast<size_t>(std::max(0.0f, left / kRowHeight)));
  // The rows shown start at the scrolled-to one; a shorter demo after a reload pulls it back.
  l.firstRow = std::min(firstRow_, scene.effects.size() - l.rows);
  const float panel = kAxisHeight + kPartHeight + static_cast<float>(l.rows) * kRowHeight +
                      static_cast<float>(l.curves) * kCurveHeight;
  l.top = l.height - panel;
  l.rowsTop = l.top + kAxisHeight + kPartHeight;
  l.curvesTop = l.rowsTop + static_cast<float>(l.rows) * kRowHeight;
  return l;
}

// [SECTION] Pointer: seek, zoom, scroll, select

void TimelineView::handlePointer(const Layout& l, const TimelineScene& scene, const platform::PointerState& p,
                                 const std::function<void(uint32_t)>& seek) {
  const float px = static_cast<float>(p.x), py = static_cast<float>(p.y);
  const bool inPanel = py >= l.top && py < l.height;
  const bool overAxis = px >= l.x0 && px < l.x1;
  const double end = std::max<double>(scene.endTime, 1);
  if (inPanel && p.wheelY != 0 && overAxis) {
    const double at = start_ + (px - l.x0) * l.msPerPixel;
    const double span = std::clamp(span_ * std::pow(0.8, p.wheelY), 100.0, end * 4);
    start_ = at - (px - l.x0) * (span / (l.x1 - l.x0));
    span_ = span;
  }
  if (inPanel && p.wheelX != 0) start_ += span_ * 0.1 * p.wheelX;
  if (inPanel && p.wheelY != 0 && px < l.x0 && py >= l.rowsTop) {  // over the names: the rows scroll
    const auto steps = static_cast<long>(std::lround(-p.wheelY * 3));
    const long last = static_cast<long>(scene.effects.size() - l.rows);
    firstRow_ = static_cast<size_t>(std::clamp(static_cast<long>(l.firstRow) + steps, 0L, std::max(0L, last)));
  }

  if (!p.leftDown) {
    drag_ = Drag::None;
    return;
  }
  if (drag_ == Drag::None) {  // the press
    drag_ = Drag::Other;
    if (inPanel && py < l.top + kAxisHeight && overAxis) {
      drag_ = Drag::Seek;
    } else if (inPanel && py < l.rowsTop && overAxis) {
      drag_ = Drag::Scroll;
    } else if (inPanel && py < l.curvesTop) {
      const auto row = static_cast<size_t>((py - l.rowsTop) / kRowHeight);
      if (row < l.rows) {
        const std::string& name = scene.effects[l.firstRow + row]->getName();
        selected_ = selected_ == name ? std::string() : name;
      }
    }
    dragX_ = p.x;
  }
  if (drag_ == Drag::Seek) {
    const double t = std::clamp(start_ + (std::clamp(px, l.x0, l.x1) - l.x0) * l.msPerPixel, 0.0, end);
    seek(static_cast<uint32_t>(std::lround(t)));
  } else if (drag_ == Drag::Scroll) {
    start_ -= (p.x - dragX_) * l.msPerPixel;
    dragX_ = p.x;
  }
}

// [SECTION] The unchanging part's fingerprint

namespace {

// FNV-1a over the values the picture is drawn from, field by field (never a struct's padding).
struct Fingerprint {
  uint64_t hash = 1469598103934665603ull;
  void bytes(const void* data, size_t size) {
    const auto* b = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ b[i]) * 1099511628211ull;
  }
  template <class T>
  void add(T value) {
    static_assert(std::is_arithmetic_v<T>);
    bytes(&value, sizeof value);
  }
  void add(std::string_view text) {
    add(text.size());
    bytes(text.data(), text.size());
  }
  void add(const std::string& text) { add(std::string_view(text)); }
};

}  // namespace

uint64_t TimelineView::staticKey(const Layout& l, const TimelineScene& scene) const {
  Fingerprint f;
  for (float v : {l.width, l.height, l.top, l.x0, l.x1}) f.add(v);
  f.add(l.rows), f.add(l.firstRow), f.add(l.curves);
  f.add(start_), f.add(span_);
  f.add(scene.endTime), f.add(scene.beat), f.add(scene.effects.size());
  for (uint32_t part : scene.parts) f.add(part);
  f.add(selected_);
  for (size_t row = 0; row < l.rows; ++row) {
    const Effect& effect = *scene.effects[l.firstRow + row];
    f.add(effect.getName());
    f.add(std::string_view(typeOf(scene.inserts, effect.getName())));
    f.add(effect.active.value);
    for (const auto& key : effect.active.keys.keys()) f.add(key.time), f.add(key.value);
  }
  for (const Effect* effect : scene.effects) {
    if (effect->getName() != selected_) continue;
    size_t lane = 0;
    for (const Variable* v : effect->getVariables()) {
      if (!curveShown(v) || lane++ >= l.curves) continue;
      const auto& fv = static_cast<const FloatVariable&>(*v);
      f.add(v->name), f.add(fv.value), f.add(fv.interpolation);
      for (const auto& key : fv.keys.keys()) f.add(key.time), f.add(key.value);
      if (const SyncTrack* track = drivingTrack(*v)) {
        f.add(syncRowLength());
        track->forEachKey([&](const SyncKey& key) {
          f.add(key.row), f.add(key.value), f.add(static_cast<uint8_t>(key.interpolation));
        });
      }
    }
  }
  return f.hash;
}

// [SECTION] Drawing: panel, rows, curves, variables

void TimelineView::draw(int width, int height, uint32_t now, const TimelineScene& scene,
                        const platform::PointerState& pointer, const std::function<void(uint32_t)>& seek) {
  if (build(width, height, now, scene, pointer, seek)) render();
}

bool TimelineView::build(int width, int height, uint32_t now, const TimelineScene& scene,
                         const platform::PointerState& pointer, const std::function<void(uint32_t)>& seek) {
  if (width <= 0 || height <= 0) return false;
  if (!context_) {
    context_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(context_);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    // Crisp edges: what the panel draws lands on whole pixels.
    ImGui::GetStyle().AntiAliasedLines = ImGui::GetStyle().AntiAliasedFill = false;
    rendererReady_ = platform::overlayRendererInit();
  }
  ImGui::SetCurrentContext(context_);
  if (!rendererReady_) return false;
  if (span_ <= 0) {
    start_ = 0;
    span_ = std::max<uint32_t>(scene.endTime, 1);
  }
  Layout l = layoutFor(width, height, scene);
  handlePointer(l, scene, pointer, seek);
  l = layoutFor(width, height, scene);  // a click may have changed the selection, a wheel the zoom

  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(l.width, l.height);
  io.DeltaTime = 1.0f / 60;
  io.MousePos = ImVec2(static_cast<float>(pointer.x), static_cast<float>(pointer.y));
  io.MouseDown[0] = pointer.leftDown;
  panelTop_ = l.top;
  platform::overlayRendererNewFrame();
  if (!fontFiltered_) {
    // The letters sit on whole pixels; nearest sampling is the rasteriser's quick path.
    GLint was = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &was);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(reinterpret_cast<intptr_t>(io.Fonts->TexID)));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(was));
    fontFiltered_ = true;
  }
  ImGui::NewFrame();
  staticList_ = ImGui::GetBackgroundDrawList();
  lineList_ = cached_ ? ImGui::GetForegroundDrawList() : staticList_;
  // The key is taken on only once render() has drawn the texture from this frame's list.
  pendingKey_ = cached_ ? staticKey(l, scene) : 0;
  staticDirty_ = !cached_ || !keyValid_ || pendingKey_ != key_;
  if (staticDirty_) drawStatic(l, scene, staticList_);
  if (now >= start_ && now <= start_ + span_) {  // the play position over everything
    const float x = std::floor(l.x(now, start_));
    lineList_->PushClipRect(ImVec2(0, l.top), ImVec2(l.width, l.height));
    lineList_->AddRectFilled(ImVec2(x - kPlayLineWidth / 2, l.top), ImVec2(x + kPlayLineWidth / 2, l.height),
                             colour(kPlayLineColour));
    lineList_->PopClipRect();
  }
  drawTooltip(l, scene, pointer);
  drawVariables(width, l, now, scene);
  ImGui::Render();
  return true;
}

void TimelineView::render() {
  ImGui::SetCurrentContext(context_);
  ImDrawData* all = ImGui::GetDrawData();
  if (!all || !all->Valid) return;
  const int width = static_cast<int>(all->DisplaySize.x);
  const int panel = static_cast<int>(all->DisplaySize.y - panelTop_);
  if (cached_ && staticDirty_ && !prepareTarget(width, panel)) cached_ = false;  // no texture: as before
  if (!cached_) {
    clearPanel(width, panel, 0);
    platform::overlayRendererDraw();
    return;
  }
  if (staticDirty_) {
    ImDrawData picture;
    picture.Valid = true;
    picture.CmdLists = &staticList_;
    picture.CmdListsCount = 1;
    picture.TotalVtxCount = staticList_->VtxBuffer.Size;
    picture.TotalIdxCount = staticList_->IdxBuffer.Size;
    picture.DisplayPos = ImVec2(0, panelTop_);
    picture.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(panel));
    picture.FramebufferScale = ImVec2(1, 1);
    clearPanel(width, panel, framebuffer_);
    platform::overlayRendererDraw(&picture, framebuffer_);
    key_ = pendingKey_;
    keyValid_ = true;
    staticDirty_ = false;
    ++staticDraws_;
  }

  // The texture into the window's panel: a copy, nothing blended.
  GLint draw = 0, read = 0, box[4];
  GLboolean mask[4];
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  glGetIntegerv(GL_SCISSOR_BOX, box);
  glGetBooleanv(GL_COLOR_WRITEMASK, mask);
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, platform::screenFramebuffer());
  glBlitFramebuffer(0, 0, width, panel, 0, 0, width, panel, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
  glColorMask(mask[0], mask[1], mask[2], mask[3]);
  glScissor(box[0], box[1], box[2], box[3]);
  if (scissor) glEnable(GL_SCISSOR_TEST);

  // What moves, the play line under the windows (values, tooltip).
  lists_.clear();
  for (int i = 0; i < all->CmdListsCount; ++i)
    if (all->CmdLists[i] == lineList_) lists_.push_back(lineList_);
  for (int i = 0; i < all->CmdListsCount; ++i)
    if (all->CmdLists[i] != lineList_ && all->CmdLists[i] != staticList_) lists_.push_back(all->CmdLists[i]);
  if (lists_.empty()) return;
  ImDrawData moving = *all;
  moving.CmdLists = lists_.data();
  moving.CmdListsCount = static_cast<int>(lists_.size());
  platform::overlayRendererDraw(&moving, platform::screenFramebuffer());
}

void TimelineView::drawStatic(const Layout& l, const TimelineScene& scene, ImDrawList* d) {
  const ImU32 text = IM_COL32(230, 230, 230, 255);
  d->PushClipRect(ImVec2(0, l.top), ImVec2(l.width, l.height));

  // The axis: a tick a second (more sparse when they would crowd), the beat grid under it.
  const double end = scene.endTime;
  const float axisBottom = l.top + kAxisHeight;
  if (scene.beat > 0 && scene.beat / l.msPerPixel >= 4) {
    const double first = std::ceil(std::max(0.0, start_) / scene.beat) * scene.beat;
    for (double t = first; t <= std::min(end, start_ + span_); t += scene.beat) {
      const float x = std::floor(l.x(t, start_));
      d->AddRectFilled(ImVec2(x, l.rowsTop), ImVec2(x + 1, l.curvesTop), IM_COL32(255, 255, 255, 28));
    }
  }
  double tick = 1000;
  while (tick / l.msPerPixel < 48) tick *= 2;
  for (double t = std::ceil(std::max(0.0, start_) / tick) * tick; t <= start_ + span_; t += tick) {
    const float x = std::floor(l.x(t, start_));
    d->AddRectFilled(ImVec2(x, axisBottom - 5), ImVec2(x + 1, axisBottom), text);
    char label[400];
    std::snprintf(label, sizeof label, "%.0fs", t / 1000);
    d->AddText(ImVec2(x + 2, l.top + 2), text, label);
  }

  // The parts: band k from part k to the next one (the last to the end).
  const float partTop = axisBottom, partBottom = l.rowsTop;
  d->PushClipRect(ImVec2(l.x0, partTop), ImVec2(l.x1, partBottom), true);
  for (size_t k = 0; k < scene.parts.size(); ++k) {
    const double from = scene.parts[k];
    const double to = k + 1 < scene.parts.size() ? scene.parts[k + 1] : std::max<double>(end, from);
    const float a = std::floor(l.x(from, start_)), b = std::floor(l.x(to, start_));
    d->AddRectFilled(ImVec2(a, partTop + 1), ImVec2(b, partBottom - 1), colour(kPartColours[k % 2]));
    char label[400];
    std::snprintf(label, sizeof label, "part %zu  %.2fs", k + 1, from / 1000);
    d->PushClipRect(ImVec2(a, partTop), ImVec2(b - 2, partBottom), true);
    d->AddText(ImVec2(a + 3, partTop + 1), text, label);
    d->PopClipRect();
  }
  d->PopClipRect();

  // The rows, in drawing order, and their bars.
  for (size_t row = 0; row < l.rows; ++row) {
    const Effect& effect = *scene.effects[l.firstRow + row];
    const float y = l.rowsTop + static_cast<float>(row) * kRowHeight;
    const bool selected = effect.getName() == selected_;
    if (selected) d->AddRectFilled(ImVec2(0, y), ImVec2(l.width, y + kRowHeight), IM_COL32(255, 255, 255, 24));
    d->PushClipRect(ImVec2(0, y), ImVec2(l.x0 - 4, y + kRowHeight), true);
    d->AddText(ImVec2(4, y + 1), text, effect.getName().c_str());
    const char* type = typeOf(scene.inserts, effect.getName());
    d->AddText(ImVec2(l.x0 - 4 - ImGui::CalcTextSize(type).x, y + 1), IM_COL32(150, 150, 170, 255), type);
    d->PopClipRect();
    d->PushClipRect(ImVec2(l.x0, y), ImVec2(l.x1, y + kRowHeight), true);
    forEachBar(effect.active, scene.endTime, [&](uint32_t from, uint32_t to) {
      const float a = std::floor(l.x(from, start_)), b = std::floor(l.x(to, start_));
      d->AddRectFilled(ImVec2(a, y + kBarInset), ImVec2(b, y + kRowHeight - kBarInset),
                       colour(selected ? kSelectedBarColour : kBarColour));
    });
    d->PopClipRect();
  }

  // The selected row's keyed float variables, each in a lane of its own.
  for (const Effect* effect : scene.effects)
    if (effect->getName() == selected_) drawCurves(l, *effect, d);
  d->PopClipRect();
}

// Hovering a bar names the statements that switch it on and off.
void TimelineView::drawTooltip(const Layout& l, const TimelineScene& scene, const platform::PointerState& pointer) {
  const float py = static_cast<float>(pointer.y);
  if (py < l.rowsTop || py >= l.curvesTop) return;
  const auto row = static_cast<size_t>((py - l.rowsTop) / kRowHeight);
  if (row >= l.rows) return;
  const Effect& effect = *scene.effects[l.firstRow + row];
  const ActiveSwitch* hoverOn = nullptr;
  const ActiveSwitch* hoverOff = nullptr;
  bool hovered = false;
  forEachBar(effect.active, scene.endTime, [&](uint32_t from, uint32_t to) {
    const float a = std::floor(l.x(from, start_)), b = std::floor(l.x(to, start_));
    if (pointer.x < a || pointer.x >= b) return;
    hovered = true;
    for (const ActiveSwitch& s : scene.switches)
      if (s.instanceName == effect.getName()) {
        if (s.on && s.time == from && !hoverOn) hoverOn = &s;
        if (!s.on && s.time == to) hoverOff = &s;
      }
  });
  if (!hovered) return;
  ImGui::BeginTooltip();
  ImGui::Text("%s", effect.getName().c_str());
  if (hoverOn) ImGui::Text("on  at %u ms: %s:%d", hoverOn->time, hoverOn->file.c_str(), hoverOn->line);
  else ImGui::Text("on  from the start (no BEGIN)");
  if (hoverOff) ImGui::Text("off at %u ms: %s:%d", hoverOff->time, hoverOff->file.c_str(), hoverOff->line);
  else ImGui::Text("off at the end (no END)");
  ImGui::EndTooltip();
}

void TimelineView::drawCurves(const Layout& l, const Effect& effect, ImDrawList* d) {
  size_t lane = 0;
  for (const Variable* v : effect.getVariables()) {
    if (!curveShown(v) || lane >= l.curves) continue;
    const auto& f = static_cast<const FloatVariable&>(*v);
    const float top = l.curvesTop + static_cast<float>(lane++) * kCurveHeight;
    const float bottom = top + kCurveHeight - 4;
    d->AddRectFilled(ImVec2(l.x0, top + 2), ImVec2(l.x1, bottom), IM_COL32(255, 255, 255, 14));
    d->AddText(ImVec2(4, top + 2), IM_COL32(230, 230, 230, 255), v->name.c_str());
    // The value range of what is drawn: the keys and the samples.
    points_.clear();
    float lo = 0, hi = 0;
    bool first = true;
    for (float x = l.x0; x <= l.x1; x += 2) {
      const double t = std::max(0.0, start_ + (x - l.x0) * l.msPerPixel);
      const float value = floatAt(f, static_cast<uint32_t>(t));
      points_.push_back(ImVec2(x, value));
      lo = first ? value : std::min(lo, value);
      hi = first ? value : std::max(hi, value);
      first = false;
    }
    if (hi - lo < 1e-6f) {
      lo -= 0.5f;
      hi += 0.5f;
    }
    const auto yOf = [&](float value) { return bottom - 2 - (value - lo) / (hi - lo) * (bottom - top - 8); };
    for (ImVec2& p : points_) p.y = yOf(p.y);
    d->PushClipRect(ImVec2(l.x0, top), ImVec2(l.x1, bottom), true);
    d->AddPolyline(points_.data(), static_cast<int>(points_.size()), IM_COL32(120, 220, 120, 255), 0, 1.5f);
    for (const auto& key : f.keys.keys())
      d->AddCircleFilled(ImVec2(l.x(key.time, start_), yOf(key.value)), 3, IM_COL32(255, 255, 255, 255));
    if (const SyncTrack* track = drivingTrack(*v)) {
      const double row = syncRowLength();
      track->forEachKey([&](const SyncKey& key) {
        d->AddCircleFilled(ImVec2(l.x(key.row * row, start_), yOf(key.value)), 3, colour(kSyncKeyColour));
      });
    }
    d->PopClipRect();
  }
}
void TimelineView::drawVariables(int width, const Layout& l, uint32_t now, const TimelineScene& scene) {
  const Effect* effect = nullptr;
  for (const Effect* e : scene.effects)
    if (e->getName() == selected_) effect = e;
  if (!effect) return;
  ImGui::SetNextWindowPos(ImVec2(static_cast<float>(width) - 280, 0));
  ImGui::SetNextWindowSize(ImVec2(280, std::max(60.0f, l.top)));
  ImGui::SetNextWindowBgAlpha(0.85f);
  char title[160];
  std::snprintf(title, sizeof title, "%s (%s) at %u ms###variables", effect->getName().c_str(),
                typeOf(scene.inserts, effect->getName()), now);
  ImGui::Begin(title, nullptr, ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoFocusOnAppearing);
  for (const Variable* v : effect->getVariables()) {
    if (v->kind == Variable::kString)
      ImGui::Text("%-16s \"%s\"", v->name.c_str(), textAt(static_cast<const StringVariable&>(*v), now).c_str());
    else
      ImGui::Text("%-16s %g%s", v->name.c_str(), numberAt(*v, now), drivingTrack(*v) ? "  (sync)" : "");
  }
  ImGui::End();
}
