#include "Song.h"

#include <algorithm>
#include <cmath>

namespace song {

namespace {

// [SECTION] Arrangement

enum class Part { Intro, Build, Drop, Break, Finale, Scenes, Swarm, Outro };

Part partOf(int bar) {
  if (bar < kBuildBar) return Part::Intro;
  if (bar < kDropBar) return Part::Build;
  if (bar < kBreakBar) return Part::Drop;
  if (bar < kFinaleBar) return Part::Break;
  if (bar < kScenesBar) return Part::Finale;
  if (bar < kSwarmBar) return Part::Scenes;
  if (bar < kOutroBar) return Part::Swarm;
  return Part::Outro;
}

// i – VI – III – VII in A minor, one chord a bar; the song closes on A minor.
struct Chord {
  int root;      // bass note (MIDI)
  int voice[4];  // pad voicing (MIDI)
};
const Chord kChords[4] = {{45, {57, 60, 64, 69}},   // Am
                          {41, {53, 57, 60, 65}},   // F
                          {48, {55, 60, 64, 67}},   // C
                          {43, {55, 59, 62, 67}}};  // G

const Chord& chordOf(int bar) {
  if (bar == kBars - 2) return kChords[3];
  if (bar >= kBars - 1) return kChords[0];
  return kChords[bar % 4];
}

struct Note {
  int bar, step, length, pitch;  // steps are sixteenths
};

// The lead tune: eight bars, sung over the progression twice per section.
const Note kMelody[] = {
    {0, 0, 2, 69}, {0, 2, 2, 72},  {0, 4, 4, 76},  {0, 8, 2, 74},  {0, 10, 2, 72}, {0, 12, 4, 76},
    {1, 0, 6, 77}, {1, 6, 2, 76},  {1, 8, 4, 72},  {1, 12, 4, 69}, {2, 0, 2, 67},  {2, 2, 2, 72},
    {2, 4, 4, 76}, {2, 8, 4, 79},  {2, 12, 2, 76}, {2, 14, 2, 74}, {3, 0, 6, 74},  {3, 6, 2, 71},
    {3, 8, 8, 67}, {4, 0, 4, 81},  {4, 4, 2, 79},  {4, 6, 2, 76},  {4, 8, 4, 72},  {4, 12, 4, 76},
    {5, 0, 4, 77}, {5, 4, 4, 81},  {5, 8, 4, 79},  {5, 12, 2, 77}, {5, 14, 2, 76}, {6, 0, 4, 76},
    {6, 4, 4, 79}, {6, 8, 6, 84},  {6, 14, 2, 83}, {7, 0, 4, 83},  {7, 4, 2, 81},  {7, 6, 2, 79},
    {7, 8, 8, 74}};

size_t frameOf(int bar, int step) { return size_t(bar) * kBarFrames + size_t(step) * kStepFrames; }
float seconds(size_t frames) { return float(frames) / float(kSampleRate); }

// [SECTION] Instruments (each renders one note into a buffer)

void kick(Stereo& out, size_t at, float velocity) {
  Sine osc;
  Noise click(uint32_t(at) | 1U);
  Svf clickFilter;
  size_t n = size_t(0.45f * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    float hz = 46.0f + 120.0f * std::exp(-t / 0.03f) + 40.0f * std::exp(-t / 0.006f);
    float amp = std::min(1.0f, t / 0.0015f) * std::exp(-t / 0.2f);
    clickFilter.process(click.next(), 3500.0f, 0.8f, i);
    float v = std::tanh(1.6f * osc.next(hz) * amp) * 0.85f +
              clickFilter.band * std::exp(-t / 0.004f) * 0.6f;
    out.add(at + i, v * velocity, v * velocity);
  }
}

void clap(Stereo& out, size_t at, float velocity, uint32_t seed) {
  Noise noise(seed);
  Svf body, tone;
  Sine snareTone;
  size_t n = size_t(0.4f * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    // Three quick slaps and a tail: the shape that makes a clap read as one.
    float env = 0.0f;
    for (int k = 0; k < 3; ++k) {
      float s = t - 0.011f * float(k);
      if (s >= 0.0f) env = std::max(env, std::exp(-s / 0.006f));
    }
    env = std::max(env, 0.55f * std::exp(-t / 0.13f) * std::min(1.0f, t / 0.02f));
    float x = noise.next();
    body.process(x, 1300.0f, 1.4f, i);
    tone.process(x, 5200.0f, 0.7f, i);
    float v = (body.band * 1.6f + tone.high * 0.4f) * env;
    v += snareTone.next(190.0f) * std::exp(-t / 0.05f) * 0.45f;
    float spread = 0.08f * noise.next();
    out.add(at + i, v * velocity * (1.0f - spread), v * velocity * (1.0f + spread));
  }
}

void hat(Stereo& out, size_t at, float velocity, float decay, float pan, uint32_t seed) {
  Noise noise(seed);
  Svf hp, res;
  size_t n = size_t(decay * 7.0f * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    float x = noise.next();
    hp.process(x, 7800.0f, 0.7f, i);
    res.process(hp.high, 11000.0f, 2.0f, i);
    float v = (hp.high * 0.6f + res.band * 0.5f) * std::exp(-t / decay) * std::min(1.0f, t / 0.0008f);
    out.addPanned(at + i, v * velocity, pan);
  }
}

void crash(Stereo& out, size_t at, float velocity, uint32_t seed) {
  Noise nl(seed), nr(seed * 7919U + 1U);
  Svf hl, hr;
  size_t n = size_t(3.0f * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    float env = std::exp(-t / 0.7f) * std::min(1.0f, t / 0.002f);
    hl.process(nl.next(), 4500.0f, 0.6f, i);
    hr.process(nr.next(), 4500.0f, 0.6f, i);
    out.add(at + i, hl.high * env * velocity, hr.high * env * velocity);
  }
}

// Filtered noise that rises over `bars` bars into the next section.
void riser(Stereo& out, int startBar, int bars, float velocity, uint32_t seed) {
  Noise noise(seed);
  Svf bp;
  Saw sweep;
  size_t at = frameOf(startBar, 0), n = size_t(bars) * kBarFrames;
  for (size_t i = 0; i < n; ++i) {
    float p = float(i) / float(n);
    bp.process(noise.next(), 300.0f * std::pow(25.0f, p), 1.8f, i);
    float tone = sweep.next(110.0f * std::pow(4.0f, p)) * 0.08f * p;
    float v = (bp.band + tone) * p * p * velocity;
    float pan = 0.6f * std::sin(p * 20.0f);
    out.addPanned(at + i, v, pan);
  }
}

void bass(Stereo& out, size_t at, size_t length, int pitch, float velocity) {
  Saw saw;
  Sine sub;
  Svf lp;
  Adsr env{0.003f, 0.12f, 0.6f, 0.02f};
  float gate = seconds(length);
  size_t n = size_t(env.length(gate) * float(kSampleRate));
  float hz = midiToHz(float(pitch));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    lp.process(saw.next(hz), 220.0f + 1500.0f * std::exp(-t / 0.06f), 1.6f, i);
    float v = (lp.low * 0.8f + sub.next(hz * 0.5f) * 0.5f) * env.at(t, gate);
    out.add(at + i, v * velocity, v * velocity);
  }
}

// Three detuned saws per note through a gently moving low-pass: a wide, soft pad.
void pad(Stereo& out, size_t at, size_t length, int pitch, float velocity, float brightness) {
  const float detune[3] = {-0.11f, 0.0f, 0.12f};
  const float pans[3] = {-0.7f, 0.0f, 0.7f};
  Saw saws[3] = {Saw(0.0f), Saw(0.33f), Saw(0.71f)};
  Svf lp[3];
  Adsr env{0.35f, 1.0f, 0.85f, 0.7f};
  float hz[3];
  for (int v = 0; v < 3; ++v) hz[v] = midiToHz(float(pitch) + detune[v]);
  float gate = seconds(length);
  size_t n = size_t(env.length(gate) * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    float e = env.at(t, gate) * velocity;
    float cutoff = brightness * (900.0f + 500.0f * std::sin(kTwoPi * 0.15f * (seconds(at) + t)));
    for (int v = 0; v < 3; ++v) {
      lp[v].process(saws[v].next(hz[v]), cutoff, 0.9f, i);
      out.addPanned(at + i, lp[v].low * e, pans[v]);
    }
  }
}

void lead(Stereo& out, size_t at, size_t length, int pitch, float velocity) {
  Saw a(0.0f), b(0.5f);
  Svf lp;
  Sine vibrato;
  Adsr env{0.012f, 0.3f, 0.7f, 0.12f};
  float gate = seconds(length);
  size_t n = size_t(env.length(gate) * float(kSampleRate));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    float vib = 0.12f * std::min(1.0f, std::max(0.0f, (t - 0.15f) / 0.3f)) * vibrato.next(5.2f);
    float hz = midiToHz(float(pitch) + vib);
    float x = a.next(hz * 0.997f) * 0.5f + b.next(hz * 1.003f) * 0.5f;
    lp.process(x, 1400.0f + 2600.0f * std::exp(-t / 0.25f), 1.2f, i);
    float v = lp.low * env.at(t, gate) * velocity;
    out.add(at + i, v, v);
  }
}

void pluck(Stereo& out, size_t at, int pitch, float velocity, float pan, float brightness) {
  Saw saw;
  Svf lp;
  size_t n = size_t(0.6f * float(kSampleRate));
  float hz = midiToHz(float(pitch));
  for (size_t i = 0; i < n; ++i) {
    float t = seconds(i);
    lp.process(saw.next(hz), brightness * (300.0f + 3800.0f * std::exp(-t / 0.07f)), 1.3f, i);
    float v = lp.low * std::exp(-t / 0.16f) * std::min(1.0f, t / 0.002f) * velocity;
    out.addPanned(at + i, v, pan);
  }
}

// [SECTION] Writing the parts

struct Buses {
  Stereo drums, bass, pads, lead, arp, fx;
  Buses()
      : drums(kTotalFrames), bass(kTotalFrames), pads(kTotalFrames), lead(kTotalFrames),
        arp(kTotalFrames), fx(kTotalFrames) {}
};

bool kickOn(int bar) {
  Part p = partOf(bar);
  return p == Part::Build || p == Part::Drop || p == Part::Finale || p == Part::Scenes ||
         p == Part::Swarm ||
         (p == Part::Outro && bar < kOutroBar + 2);
}

void writeDrums(Buses& b, std::vector<size_t>& kicks) {
  for (int bar = 0; bar < kBars; ++bar) {
    Part p = partOf(bar);
    bool full = p == Part::Drop || p == Part::Finale || p == Part::Swarm;
    bool lastBeforeDrop = bar == kDropBar - 1 || bar == kFinaleBar - 1 || bar == kSwarmBar - 1;
    for (int beat = 0; beat < 4; ++beat) {
      size_t at = frameOf(bar, beat * 4);
      // The bar before a drop drops its kick for the second half: the roll takes over.
      // The scenes run at half time: a kick on the first and third beat only.
      bool halfTime = p == Part::Scenes && beat % 2 == 1;
      if (kickOn(bar) && !(lastBeforeDrop && beat >= 2) && !halfTime) {
        kick(b.drums, at, p == Part::Scenes ? 0.7f : 0.95f);
        kicks.push_back(at);
      }
      bool clapOn = full || (p == Part::Build && bar >= kBuildBar + 4) ||
                    (p == Part::Outro && bar < kOutroBar + 2);
      if (clapOn && (beat == 1 || beat == 3) && !lastBeforeDrop)
        clap(b.drums, at, 0.42f, uint32_t(at) * 3U + 7U);
    }
    // Hats: eighths from the second half of the intro, sixteenths in the full parts.
    bool hats = (p == Part::Intro && bar >= 4) || p == Part::Build || full || p == Part::Scenes ||
                (p == Part::Outro && bar < kOutroBar + 2);
    if (hats) {
      for (int step = 0; step < 16; ++step) {
        bool offbeat = step % 4 == 2;
        if (!full && step % 2 == 1) continue;
        float vel = (offbeat ? 0.16f : 0.09f) * (p == Part::Intro || p == Part::Scenes ? 0.6f : 1.0f);
        if (full && offbeat)
          hat(b.drums, frameOf(bar, step), 0.13f, 0.11f, 0.25f, uint32_t(bar * 16 + step) + 99U);
        else
          hat(b.drums, frameOf(bar, step), vel, 0.028f, step % 2 ? -0.3f : 0.2f,
              uint32_t(bar * 16 + step) + 5U);
      }
    }
    // Snare rolls into the drops: sixteenths, then thirty-seconds, louder and louder.
    if (lastBeforeDrop || bar == kBreakBar - 1) {
      for (int s = 16; s < 64; ++s) {
        if (s < 32 && s % 2 == 1) continue;
        float p01 = float(s - 16) / 48.0f;
        clap(b.drums, frameOf(bar, 0) + size_t(s) * kStepFrames / 2, 0.12f + 0.3f * p01,
             uint32_t(bar * 64 + s) + 1234U);
      }
    }
  }
  for (int bar : {kDropBar, kDropBar + 8, kBreakBar, kFinaleBar, kFinaleBar + 8, kScenesBar,
                  kSwarmBar, kSwarmBar + 8, kOutroBar})
    crash(b.fx, frameOf(bar, 0), 0.22f, uint32_t(bar) * 31U + 3U);
  riser(b.fx, kDropBar - 2, 2, 0.3f, 11U);
  riser(b.fx, kFinaleBar - 2, 2, 0.3f, 12U);
  riser(b.fx, kSwarmBar - 2, 2, 0.3f, 13U);
}

void writeBass(Buses& b) {
  for (int bar = 0; bar < kBars; ++bar) {
    Part p = partOf(bar);
    bool rolling = p == Part::Drop || p == Part::Finale || p == Part::Swarm;
    bool on = rolling || p == Part::Scenes || (p == Part::Build && bar >= kBuildBar + 4) ||
              (p == Part::Outro && bar < kOutroBar + 2);
    if (!on || bar == kDropBar - 1 || bar == kFinaleBar - 1 || bar == kSwarmBar - 1) continue;
    int root = chordOf(bar).root;
    for (int step = 0; step < 16; ++step) {
      // Offbeat eighths; the full parts roll with two sixteenths per offbeat.
      bool play = step % 4 == 2 || (rolling && step % 4 == 3);
      if (!play) continue;
      int pitch = root + ((rolling && step == 15) ? 12 : 0);
      float velocity = step % 4 == 2 ? 0.5f : 0.38f;
      bass(b.bass, frameOf(bar, step), kStepFrames - 600, pitch, p == Part::Scenes ? 0.6f * velocity : velocity);
    }
  }
}

void writePads(Buses& b) {
  for (int bar = 0; bar < kBars; ++bar) {
    Part p = partOf(bar);
    float vel = 0.085f;
    float bright = 1.0f;
    if (p == Part::Intro) vel *= 0.45f + 0.55f * float(bar) / 8.0f, bright = 0.6f + 0.05f * float(bar);
    if (p == Part::Break || p == Part::Scenes) bright = 0.8f;
    if (p == Part::Drop || p == Part::Finale || p == Part::Swarm) bright = 1.5f;
    size_t len = kBarFrames - 2000;
    if (bar == kBars - 1) len = kBarFrames + kTailFrames / 3;  // the last chord rings out
    for (int pitch : chordOf(bar).voice) pad(b.pads, frameOf(bar, 0), len, pitch, vel, bright);
  }
}

void writeLead(Buses& b) {
  auto phrase = [&](int startBar, int transpose, float velocity) {
    for (const Note& n : kMelody)
      lead(b.lead, frameOf(startBar + n.bar, n.step), size_t(n.length) * kStepFrames - 900,
           n.pitch + transpose, velocity);
  };
  phrase(kDropBar, 0, 0.2f);
  phrase(kDropBar + 8, 0, 0.2f);
  phrase(kBreakBar, -12, 0.17f);
  phrase(kFinaleBar, 0, 0.2f);
  phrase(kFinaleBar + 8, 0, 0.17f);
  phrase(kFinaleBar + 8, 12, 0.08f);  // that round doubles an octave up
  phrase(kScenesBar + 8, -12, 0.15f);
  phrase(kSwarmBar, 0, 0.2f);
  phrase(kSwarmBar + 8, 0, 0.17f);
  phrase(kSwarmBar + 8, 12, 0.08f);
}

void writeArp(Buses& b) {
  const int order[8] = {0, 1, 2, 3, 1, 2, 3, 2};
  for (int bar = 0; bar < kBars; ++bar) {
    Part p = partOf(bar);
    bool on = (p == Part::Intro && bar >= 2) || p == Part::Build || p == Part::Finale ||
              p == Part::Swarm || (p == Part::Drop && bar >= kDropBar + 8) ||
              (p == Part::Scenes && bar >= kScenesBar + 8);
    if (!on) continue;
    float bright = p == Part::Intro ? 0.35f + 0.08f * float(bar) : 1.0f;
    if (p == Part::Build) bright = 0.6f + 0.1f * float(bar - kBuildBar);
    for (int step = 0; step < 16; ++step) {
      int pitch = chordOf(bar).voice[order[step % 8]] + 12;
      float vel = (step % 4 == 0 ? 0.11f : 0.08f) * (p == Part::Intro ? 0.8f : 1.0f);
      pluck(b.arp, frameOf(bar, step), pitch, vel, step % 2 ? 0.5f : -0.5f, bright);
    }
  }
}

// [SECTION] Mixing and mastering

// Pumping: the bass, pads and arp duck under every kick and swell back within a beat.
std::vector<float> duckingCurve(const std::vector<size_t>& kicks) {
  std::vector<float> gain(kTotalFrames, 1.0f);
  size_t len = kBeatFrames;
  for (size_t at : kicks)
    for (size_t i = 0; i < len && at + i < kTotalFrames; ++i) {
      float t = float(i) / float(len);
      float g = 1.0f - 0.65f * (1.0f - std::sqrt(std::min(1.0f, t * 2.2f)));
      gain[at + i] = std::min(gain[at + i], g);
    }
  return gain;
}

void applyGain(Stereo& s, const std::vector<float>& gain) {
  for (size_t i = 0; i < s.frames(); ++i) s.left[i] *= gain[i], s.right[i] *= gain[i];
}

// Look-ahead peak limiter: the gain is already down when a peak arrives, so the output
// never exceeds `ceiling`, and it recovers smoothly afterwards.
void limit(Stereo& s, float ceiling) {
  const size_t look = 220;  // 5 ms
  size_t n = s.frames();
  std::vector<float> want(n);
  for (size_t i = 0; i < n; ++i) {
    float peak = std::max(std::fabs(s.left[i]), std::fabs(s.right[i]));
    want[i] = peak > ceiling ? ceiling / peak : 1.0f;
  }
  // Minimum over the next `look` frames, by a sliding window kept as a monotonic deque.
  std::vector<float> ahead(n);
  std::vector<size_t> dq(n + 1);
  size_t head = 0, tail = 0;
  for (size_t j = n; j-- > 0;) {
    while (tail > head && want[dq[tail - 1]] >= want[j]) --tail;
    dq[tail++] = j;
    while (dq[head] > j + look) ++head;
    ahead[j] = want[dq[head]];
  }
  const float release = 1.0f - std::exp(-1.0f / (0.08f * float(kSampleRate)));
  float g = 1.0f;
  std::vector<float> smooth(n);
  for (size_t i = 0; i < n; ++i) {
    g = ahead[i] < g ? ahead[i] : g + (ahead[i] - g) * release;
    smooth[i] = g;
  }
  double acc = 0.0;
  for (size_t i = 0; i < n; ++i) {
    acc += smooth[i];
    if (i >= look) acc -= smooth[i - look];
    float avg = float(acc / double(std::min(i + 1, look)));
    float gain = std::min(avg, smooth[i]);
    s.left[i] *= gain, s.right[i] *= gain;
  }
  // The gain above keeps every peak at the ceiling; this only catches float rounding.
  for (size_t i = 0; i < n; ++i)
    for (float* v : {&s.left[i], &s.right[i]})
      if (std::fabs(*v) > ceiling) *v = std::copysign(ceiling, *v);
}

}  // namespace

Stereo render() {
  Buses b;
  std::vector<size_t> kicks;
  writeDrums(b, kicks);
  writeBass(b);
  writePads(b);
  writeLead(b);
  writeArp(b);

  std::vector<float> duck = duckingCurve(kicks);
  applyGain(b.bass, duck);
  applyGain(b.pads, duck);
  applyGain(b.arp, duck);

  pingPongDelay(b.lead, kStepFrames * 3, 0.38f, 0.35f);
  pingPongDelay(b.arp, kStepFrames * 3, 0.3f, 0.25f);

  Stereo mix(kTotalFrames), send(kTotalFrames);
  b.drums.mixInto(mix, 1.0f);
  b.bass.mixInto(mix, 1.0f);
  b.pads.mixInto(mix, 1.0f);
  b.lead.mixInto(mix, 1.0f);
  b.arp.mixInto(mix, 1.0f);
  b.fx.mixInto(mix, 1.0f);
  b.pads.mixInto(send, 0.8f);
  b.lead.mixInto(send, 0.7f);
  b.arp.mixInto(send, 0.4f);
  b.drums.mixInto(send, 0.12f);
  b.fx.mixInto(send, 0.5f);
  reverb(send, mix, 0.88f, 0.35f, 1.0f);

  // The kick's saturation is not symmetric: a 10 Hz high-pass takes out the offset it leaves.
  const float pole = 1.0f - kTwoPi * 10.0f / float(kSampleRate);
  for (std::vector<float>* ch : {&mix.left, &mix.right}) {
    float previousIn = 0.0f, previousOut = 0.0f;
    for (float& v : *ch) {
      float out = v - previousIn + pole * previousOut;
      previousIn = v;
      previousOut = out;
      v = out;
    }
  }

  // Loudness: the drop's RMS is brought to about -13 dBFS before the limiter.
  double sum = 0.0;
  size_t from = frameOf(kDropBar, 0), to = frameOf(kBreakBar, 0);
  for (size_t i = from; i < to; ++i)
    sum += double(mix.left[i]) * mix.left[i] + double(mix.right[i]) * mix.right[i];
  float rms = float(std::sqrt(sum / double(2 * (to - from))));
  float gain = rms > 0.0f ? 0.22f / rms : 1.0f;
  for (size_t i = 0; i < mix.frames(); ++i) mix.left[i] *= gain, mix.right[i] *= gain;

  // A gentle fade over the tail so the file ends in silence.
  for (size_t i = 0; i < kTailFrames; ++i) {
    size_t k = kTotalFrames - kTailFrames + i;
    float f = 1.0f - float(i) / float(kTailFrames);
    mix.left[k] *= f * f, mix.right[k] *= f * f;
  }
  limit(mix, 0.89f);
  return mix;
}

}  // namespace song
