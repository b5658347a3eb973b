#pragma once
// The effects that follow the music.
//   Spectrum  invisible: each frame sums the spectrum of the sound, publishes the sum as
//             spectrumLevel and sends it as a pulse (code 5) to the effects it is linked to
//   Osc       an oscilloscope trace of the sound, darkening the frame in a rectangle

#include <memory>
#include <vector>

#include "demoSystem/Effect.h"

class Oscillo;

// [SECTION] Spectrum

class SpectrumEffect : public Effect {
 public:
  static constexpr int32_t kSetTarget = 2;  // the list becomes the named effect alone
  static constexpr int32_t kAddTarget = 3;  // the named effect is added (again)

  explicit SpectrumEffect(const std::string& name);

  // Switches the analyser on when there is sound; the local clock is not reset.
  void start(uint32_t time) override;
  // Nothing without sound, while the music does not play, or without a spectrum.
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;

  const std::vector<Effect*>& getTargets() const { return targets; }
  float getSum() const { return sum; }

 private:
  void switchAnalyserOn();

  std::vector<Effect*> targets;  // not owned
  float sum = 0;
  bool fftActive = false;
  TimelineEvent pulseEvent;  // reused every frame
};

// [SECTION] Osc

class OscEffect : public Effect {
 public:
  explicit OscEffect(const std::string& name);
  // Switches the capture off and frees it.
  ~OscEffect() override;

  // Starts the capture. With Music off there is none to start and the trace shows silence;
  // sound that was asked for and is missing is the fatal "Oscillo: sound not inited".
  void start(uint32_t time) override;
  void render(uint32_t time) override;

  FloatVariable Red, Green, Blue, Alpha;
  FloatVariable xPos, yPos, Width, Height;  // from the top-left corner, in screen units

 private:
  std::unique_ptr<Oscillo> oscillo;
  bool started = false;
};
