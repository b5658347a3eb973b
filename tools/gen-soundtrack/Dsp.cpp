#include "Dsp.h"

void pingPongDelay(Stereo& buffer, size_t delayFrames, float feedback, float wet) {
  std::vector<float> lineL(delayFrames, 0.0f), lineR(delayFrames, 0.0f);
  float toneL = 0.0f, toneR = 0.0f;
  size_t pos = 0;
  for (size_t i = 0; i < buffer.frames(); ++i) {
    float dl = lineL[pos], dr = lineR[pos];
    float in = 0.5f * (buffer.left[i] + buffer.right[i]);
    // Each repeat crosses to the other side and loses some treble.
    toneL += 0.35f * (dr - toneL);
    toneR += 0.35f * (dl - toneR);
    lineL[pos] = in + toneL * feedback;
    lineR[pos] = toneR * feedback;
    buffer.left[i] += dl * wet;
    buffer.right[i] += dr * wet;
    if (++pos == delayFrames) pos = 0;
  }
}

namespace {

struct Comb {
  std::vector<float> line;
  size_t pos = 0;
  float store = 0.0f;
  explicit Comb(size_t n) : line(n, 0.0f) {}
  float process(float in, float feedback, float damp) {
    float out = line[pos];
    store = out * (1.0f - damp) + store * damp;
    line[pos] = in + store * feedback;
    if (++pos == line.size()) pos = 0;
    return out;
  }
};

struct Allpass {
  std::vector<float> line;
  size_t pos = 0;
  explicit Allpass(size_t n) : line(n, 0.0f) {}
  float process(float in) {
    float buffered = line[pos];
    float out = buffered - in;
    line[pos] = in + buffered * 0.5f;
    if (++pos == line.size()) pos = 0;
    return out;
  }
};

}  // namespace

void reverb(const Stereo& input, Stereo& output, float roomSize, float damping, float wet) {
  const size_t combTuning[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  const size_t allpassTuning[4] = {556, 441, 341, 225};
  const size_t spread = 23;
  std::vector<Comb> combL, combR;
  std::vector<Allpass> apL, apR;
  for (size_t t : combTuning) combL.emplace_back(t), combR.emplace_back(t + spread);
  for (size_t t : allpassTuning) apL.emplace_back(t), apR.emplace_back(t + spread);
  for (size_t i = 0; i < input.frames(); ++i) {
    float in = (input.left[i] + input.right[i]) * 0.015f;
    float l = 0.0f, r = 0.0f;
    for (size_t c = 0; c < 8; ++c) {
      l += combL[c].process(in, roomSize, damping);
      r += combR[c].process(in, roomSize, damping);
    }
    for (size_t a = 0; a < 4; ++a) l = apL[a].process(l), r = apR[a].process(r);
    output.add(i, l * wet, r * wet);
  }
}
