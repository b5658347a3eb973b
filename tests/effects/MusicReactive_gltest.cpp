// The music-reactive effects on a sound track the test encodes itself: the spectrum's level
// and pulses through the offline audio path of captures, and the oscilloscope's trace read
// back from the frame.
#include "effects/MusicReactive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numbers>

#include "base/Display.h"
#include "base/FrameStats.h"
#include "demoSystem/MusicTestTone.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "demos/EffectList.h"
#include "effects/LayerEffects.h"
#include "platform/AudioDevice.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kSize = 256;

// Remembers every event it is handed.
class Probe : public Effect {
 public:
  using Effect::Effect;
  void render(uint32_t) override {}
  void handleEvent(const TimelineEvent& event) override {
    received.push_back(event);
    Effect::handleEvent(event);
  }
  std::vector<TimelineEvent> received;
};

const EffectType kTypes[] = {
    {"Spectrum", [](const std::string& n) -> Effect* { return new SpectrumEffect(n); }},
    {"Osc", [](const std::string& n) -> Effect* { return new OscEffect(n); }},
    {"Image", [](const std::string& n) -> Effect* { return new ImageEffect(n); }},
    {"Probe", [](const std::string& n) -> Effect* { return new Probe(n); }},
};

TimelineEvent event(int32_t code, float value = 0, const std::string& text = "", uint32_t time = 0) {
  TimelineEvent e;
  e.time = time;
  e.code = code;
  e.value = value;
  e.params = {value, 0, 0};
  e.text = text;
  return e;
}

// A second of a tone centred on spectrum bin 23 at half scale, then a second of silence.
constexpr double kBin23Hz = 23 * 44100.0 / 1024;
testtone::StereoSignal toneThenSilence() {
  testtone::StereoSignal s = testtone::sines(1.0, kBin23Hz, kBin23Hz, 0.5, 0.5);
  s.resize(s.size() * 2, 0.0f);
  return s;
}

class MusicReactiveTest : public testing::Test {
 protected:
  // One context for the whole program: the target "oscillo" is cached by name with its
  // texture, which lives only as long as the context it was made in.
  static GlTestContext& sharedContext() {
    static GlTestContext* context = new GlTestContext(kSize, kSize);
    return *context;
  }
  void SetUp() override {
    ASSERT_TRUE(gl.ok());
    closeSound();
    setOfflineAudio(false);
    setAudioDevice(&device);
    demoEndTime = 10000;
    effectRegistry = &registry;
    eventList = nullptr;
    spectrumLevel = 1.0f;
    screenWidth = screenHeight = kSize;
  }
  void TearDown() override {
    registry.clear();
    effectRegistry = nullptr;
    setSpectrumActive(false);
    stopCapture();
    closeSound();
    setOfflineAudio(false);
    setAudioDevice(nullptr);
    demoEndTime = 0;
    spectrumLevel = 1.0f;
  }

  // Sound as a capture has it: no device, the track playing from its start.
  void captureSound() {
    ASSERT_TRUE(testtone::encodeOgg(track, toneThenSilence()));
    setOfflineAudio(true);
    ASSERT_TRUE(initSound());
    ASSERT_TRUE(openMusic(track.c_str()));
    playMusic();
  }
  // What a capture does for the frame at t: the frame's sound, then the frame.
  static void captureFrame(uint32_t t) {
    renderOfflineAudio(t, t + 40);
    renderFrame(t);
  }

  template <class T>
  T& add(const std::string& name, const std::string& type) {
    EXPECT_TRUE(registry.insertEffect(name, type));
    Effect* effect = registry.findEffect(name);
    effect->active.setKey(1, 0);
    return *static_cast<T*>(effect);
  }

  const GlTestContext& gl = sharedContext();
  platform::ManualAudioDevice device;
  testtone::TempDir dir;
  std::string track = dir.file("soundtrack.ogg");
  EffectList registry{kTypes};
};

// [SECTION] Spectrum

TEST_F(MusicReactiveTest, ATonesLevelIsItsSpectrumSumAndReachesEveryTarget) {
  captureSound();
  auto& spectrum = add<SpectrumEffect>("spectrum", "Spectrum");
  auto& probe = add<Probe>("probe", "Probe");
  auto& image = add<ImageEffect>("image", "Image");
  image.SpectrumStr.value = 2;
  image.handleEvent(event(ImageEffect::kPulseScale, 0.1f));
  spectrum.handleEvent(event(0));
  EXPECT_TRUE(isSpectrumActive());
  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "probe"));
  spectrum.handleEvent(event(SpectrumEffect::kAddTarget, 0, "image"));
  captureFrame(500);

  // The samples before 500 ms: a centred tone of amplitude 0.5 reads 0.5 in its bin and
  // half that in each neighbour, so the sum is about 1.
  const std::vector<int16_t> pcm = testtone::decodeOgg(track);
  std::vector<int16_t> window(kSpectrumWindow);
  for (int i = 0; i < kSpectrumWindow; ++i) {
    const size_t frame = 22050 - kSpectrumWindow + i;
    window[i] = static_cast<int16_t>((pcm[2 * frame] + pcm[2 * frame + 1]) >> 1);
  }
  float bins[kSpectrumSize];
  computeSpectrum(window.data(), bins);
  float expected = 0;
  for (float bin : bins) expected += bin;
  EXPECT_NEAR(expected, 1.0f, 0.05f);
  EXPECT_EQ(spectrumLevel, expected);
  EXPECT_EQ(spectrum.getSum(), expected);

  ASSERT_EQ(probe.received.size(), 1u);
  EXPECT_EQ(probe.received[0].code, EffectEvent::kPulse);
  EXPECT_EQ(probe.received[0].time, 500u);
  EXPECT_EQ(probe.received[0].value, expected);
  EXPECT_EQ(probe.received[0].effectName, "");
  EXPECT_EQ(image.pulse, 2 * expected);  // SpectrumStr times the sum
  EXPECT_FLOAT_EQ(image.alphaBoost, 0.1f * expected);
}

TEST_F(MusicReactiveTest, SilenceGivesLevelZeroAndPulseZero) {
  captureSound();
  auto& spectrum = add<SpectrumEffect>("spectrum", "Spectrum");
  auto& probe = add<Probe>("probe", "Probe");
  probe.SpectrumStr.value = 1;
  probe.pulse = 3;
  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "probe"));
  captureFrame(1500);
  EXPECT_EQ(spectrumLevel, 0.0f);
  ASSERT_EQ(probe.received.size(), 1u);
  EXPECT_EQ(probe.pulse, 0.0f);
}

TEST_F(MusicReactiveTest, TheTargetListFollowsCodesTwoAndThree) {
  captureSound();
  auto& spectrum = add<SpectrumEffect>("spectrum", "Spectrum");
  auto& a = add<Probe>("a", "Probe");
  auto& b = add<Probe>("b", "Probe");
  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "a"));
  spectrum.handleEvent(event(SpectrumEffect::kAddTarget, 0, "b"));
  spectrum.handleEvent(event(SpectrumEffect::kAddTarget, 0, "b"));
  spectrum.handleEvent(event(SpectrumEffect::kAddTarget, 0, "nobody"));
  EXPECT_THAT(spectrum.getTargets(), testing::ElementsAre(&a, &b, &b));
  captureFrame(500);
  EXPECT_EQ(a.received.size(), 1u);
  EXPECT_EQ(b.received.size(), 2u);  // named twice, pulsed twice

  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "b"));
  EXPECT_THAT(spectrum.getTargets(), testing::ElementsAre(&b));
  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "nobody"));
  EXPECT_THAT(spectrum.getTargets(), testing::IsEmpty());
  captureFrame(540);
  EXPECT_EQ(a.received.size(), 1u);
  EXPECT_EQ(b.received.size(), 2u);
}

TEST_F(MusicReactiveTest, WithoutSoundOrPlayingMusicTheLevelStaysAndNothingIsSent) {
  auto& spectrum = add<SpectrumEffect>("spectrum", "Spectrum");
  auto& probe = add<Probe>("probe", "Probe");
  spectrum.handleEvent(event(SpectrumEffect::kSetTarget, 0, "probe"));
  spectrum.handleEvent(event(0));
  renderFrame(500);  // no sound at all (Music off)
  EXPECT_FALSE(isSpectrumActive());
  EXPECT_EQ(spectrumLevel, 1.0f);

  captureSound();
  pauseMusic();
  captureFrame(500);  // sound, but the music does not play
  EXPECT_TRUE(isSpectrumActive());  // switched on by the first update with sound
  EXPECT_EQ(spectrumLevel, 1.0f);
  EXPECT_TRUE(probe.received.empty());
}

// [SECTION] Osc

class OscTest : public MusicReactiveTest {
 protected:
  static void background(float grey) {
    glClearColor(grey, grey, grey, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // Rows from the top of the frame whose pixel in column x is darker than the background.
  std::vector<int> darkRows(int x, uint8_t below = 250) const {
    std::vector<int> rows;
    for (int row = 0; row < kSize; ++row)
      if (gl.pixel(x, kSize - 1 - row)[0] < below) rows.push_back(row);
    return rows;
  }
  OscEffect& fullScreenOsc(float alpha) {
    auto& osc = add<OscEffect>("osc", "Osc");
    osc.Alpha.value = alpha;
    osc.xPos.value = osc.yPos.value = 0;
    osc.Width.value = osc.Height.value = 1;  // one texel per pixel
    return osc;
  }
};

TEST_F(OscTest, WithMusicOffTheTraceIsSilenceAcrossTheMiddle) {
  // No sound was asked for: no capture, and no fatal report either.
  auto& osc = fullScreenOsc(1);
  background(1);
  renderFrame(0);
  EXPECT_THAT(darkRows(128), testing::IsEmpty());  // nothing before the start
  osc.handleEvent(event(0));
  background(1);
  renderFrame(40);
  // Height 0.5 of 256 rows, four pixels wide, black at Alpha 1.
  for (int x : {2, 64, 128, 200, 253}) EXPECT_THAT(darkRows(x), testing::ElementsAre(126, 127, 128, 129)) << x;
  EXPECT_EQ(gl.pixel(64, kSize - 1 - 127)[0], 0);
}

TEST_F(OscTest, AFullScaleSquareWaveRunsAlongTheRectanglesEdges) {
  captureSound();
  auto& osc = fullScreenOsc(1);
  osc.handleEvent(event(0));
  ASSERT_NE(captureRing, nullptr);
  // The trace reads the block after the one written next: block 1, and one sample more.
  captureBlock = 0;
  std::fill(captureRing + 1024, captureRing + 1536, int16_t{32767});
  std::fill(captureRing + 1536, captureRing + 2049, int16_t{-32768});
  background(1);
  renderFrame(0);
  // The texture's first row is the target's bottom one, so the lowest samples run along the
  // rectangle's top edge and the highest along its bottom edge.
  EXPECT_THAT(darkRows(40), testing::ElementsAre(254, 255));
  EXPECT_THAT(darkRows(215), testing::ElementsAre(0, 1));
  EXPECT_GT(darkRows(128).size(), 200u);  // the jump between them
}

TEST_F(OscTest, TheRectangleIsPlacedFromItsTopLeftCorner) {
  auto& osc = add<OscEffect>("osc", "Osc");
  osc.Alpha.value = 1;
  osc.yPos.value = 0;  // x 0.4..0.8, y 0..0.4 from the top
  osc.handleEvent(event(0));
  background(1);
  renderFrame(0);
  // Silence sits half way down the rectangle: 0.2 of the frame from the top.
  const std::vector<int> rows = darkRows(kSize / 2);
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), 0.2 * kSize, 2);
  EXPECT_NEAR(rows.back(), 0.2 * kSize, 2);
  EXPECT_THAT(darkRows(static_cast<int>(0.35 * kSize)), testing::IsEmpty());
  EXPECT_THAT(darkRows(static_cast<int>(0.85 * kSize)), testing::IsEmpty());
}

TEST_F(OscTest, AlphaSetsHowMuchTheTraceDarkens) {
  auto& osc = fullScreenOsc(0);
  osc.handleEvent(event(0));
  background(0.6f);
  const std::vector<uint8_t> before = gl.pixels();
  renderFrame(0);
  EXPECT_EQ(gl.pixels(), before);  // Alpha 0: the frame is unchanged

  osc.Alpha.value = 0.5f;
  background(0.6f);
  renderFrame(0);
  const auto onTrace = gl.pixel(64, kSize - 1 - 127);
  EXPECT_NEAR(onTrace[0], 153 * 0.5, 1);  // half of the background, whatever the trace colour
  EXPECT_EQ(onTrace[0], onTrace[2]);
  EXPECT_EQ(gl.pixel(64, kSize - 1 - 40)[0], 153);
}

class OscDeathTest : public OscTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    OscTest::SetUp();
  }
};

TEST_F(OscDeathTest, SoundThatWasAskedForAndIsMissingIsFatal) {
  device.canOpen = false;
  EXPECT_FALSE(initSound());  // Music on, no output at all
  EXPECT_TRUE(isSoundRequested());
  auto& osc = add<OscEffect>("osc", "Osc");
  EXPECT_EXIT(osc.handleEvent(event(0)), testing::ExitedWithCode(1),
              "^(src/)?effects/Oscillo.cpp:[0-9]+ Oscillo: sound not inited\n$");
}

}  // namespace
