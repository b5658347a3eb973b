#pragma once
// The building blocks of the synthesiser: oscillators, filters, envelopes, a noise source,
// a delay and a reverb. Everything is plain arithmetic on floats with fixed seeds, so the
// same program always renders the same samples.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSampleRate = 44100;
constexpr float kTwoPi = 6.28318530718f;

inline float midiToHz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

// xorshift32: a tiny deterministic noise source; each voice seeds its own.
struct Noise {
  uint32_t state;
  explicit Noise(uint32_t seed) : state(seed ? seed : 0x9e3779b9U) {}
  float next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return float(int32_t(state)) * (1.0f / 2147483648.0f);
  }
};

// Band-limited sawtooth (polyBLEP), -1..1.
struct Saw {
  float phase = 0.0f;
  explicit Saw(float startPhase = 0.0f) : phase(startPhase) {}
  float next(float hz) {
    float dt = hz / float(kSampleRate);
    float v = 2.0f * phase - 1.0f - blep(phase, dt);
    phase += dt;
    if (phase >= 1.0f) phase -= 1.0f;
    return v;
  }
  static float blep(float t, float dt) {
    if (t < dt) {
      t /= dt;
      return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
      t = (t - 1.0f) / dt;
      return t * t + t + t + 1.0f;
    }
    return 0.0f;
  }
};

struct Sine {
  float phase = 0.0f;
  float next(float hz) {
    float v = std::sin(kTwoPi * phase);
    phase += hz / float(kSampleRate);
    if (phase >= 1.0f) phase -= 1.0f;
    return v;
  }
};

// Zero-delay-feedback state-variable filter (trapezoidal integration): stable under fast
// cutoff sweeps, which the bass and the plucks rely on.
struct Svf {
  float ic1 = 0.0f, ic2 = 0.0f;
  float low = 0.0f, band = 0.0f, high = 0.0f;
  float k = 1.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;
  bool tuned = false;
  void tune(float cutoffHz, float q) {
    float fc = std::fmin(cutoffHz, 0.45f * float(kSampleRate));
    float g = std::tan(3.14159265f * fc / float(kSampleRate));
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k)), a2 = g * a1, a3 = g * a2;
    tuned = true;
  }
  void step(float x) {
    float v3 = x - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    low = v2, band = v1, high = x - k * v1 - v2;
  }
  // Retunes every 16 samples: sweeps stay smooth and tan() is not paid per sample.
  void process(float x, float cutoffHz, float q, size_t frame) {
    if (!tuned || (frame & 15U) == 0) tune(cutoffHz, q);
    step(x);
  }
};

// Linear attack, exponential decay to a sustain level, exponential release after `gate`.
struct Adsr {
  float attack, decay, sustain, release;  // seconds, seconds, level, seconds
  float at(float t, float gate) const {
    auto held = [&](float s) {
      if (s < attack) return s / attack;
      return sustain + (1.0f - sustain) * std::exp(-(s - attack) / decay);
    };
    if (t < gate) return held(t);
    return held(gate) * std::exp(-(t - gate) / release);
  }
  float length(float gate) const { return gate + release * 7.0f; }
};

// Stereo buffer of the whole song.
struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
  size_t frames() const { return left.size(); }
  void add(size_t i, float l, float r) {
    if (i < left.size()) left[i] += l, right[i] += r;
  }
  // Equal-power pan, -1 left .. 1 right.
  void addPanned(size_t i, float v, float pan) {
    float a = (pan + 1.0f) * 0.25f * 3.14159265f;
    add(i, v * std::cos(a), v * std::sin(a));
  }
  void mixInto(Stereo& other, float gain) const {
    for (size_t i = 0; i < left.size() && i < other.left.size(); ++i)
      other.left[i] += left[i] * gain, other.right[i] += right[i] * gain;
  }
};

// Ping-pong echo with a darkening feedback loop.
void pingPongDelay(Stereo& buffer, size_t delayFrames, float feedback, float wet);

// A Schroeder–Moorer reverb in the well-known "freeverb" layout: eight damped combs and
// four allpasses per side, the right side tuned a few samples longer for width.
void reverb(const Stereo& input, Stereo& output, float roomSize, float damping, float wet);
