#pragma once
// Test sound tracks: tones the tests encode themselves to Ogg Vorbis with libvorbisenc, and
// the reference decode of such a file (what any correct player must output, sample for
// sample, at full volume).

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace testtone {

constexpr int kRate = 44100;

// Interleaved stereo float frames in -1..1.
using StereoSignal = std::vector<float>;

// Left and right sines at their own frequencies and amplitudes.
inline StereoSignal sines(double seconds, double leftHz, double rightHz, double leftAmp = 0.5,
                          double rightAmp = 0.5) {
  const int frames = static_cast<int>(seconds * kRate);
  StereoSignal s(2 * static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[2 * i] = static_cast<float>(leftAmp * std::sin(2 * std::numbers::pi * leftHz * t));
    s[2 * i + 1] = static_cast<float>(rightAmp * std::sin(2 * std::numbers::pi * rightHz * t));
  }
  return s;
}

// One sine on every channel of an interleaved signal at any rate.
inline std::vector<float> tone(double seconds, double hz, double amplitude, int channels, int rate) {
  const int frames = static_cast<int>(seconds * rate);
  std::vector<float> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[static_cast<size_t>(i) * channels + c] =
          static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate));
  return s;
}

// Encodes the interleaved signal as an Ogg Vorbis file (VBR quality 0.5). True on success.
inline bool encodeOgg(const std::string& path, const std::vector<float>& signal, int channels = 2,
                      int rate = kRate) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.5f) != 0) {
    std::fclose(out);
    return false;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);

  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &headerComment);
  ogg_stream_packetin(&os, &headerCode);
  ogg_page page;
  while (ogg_stream_flush(&os, &page) != 0) {
    std::fwrite(page.header, 1, page.header_len, out);
    std::fwrite(page.body, 1, page.body_len, out);
  }

  const size_t frames = signal.size() / channels;
  size_t done = 0;
  bool eos = false;
  while (!eos) {
    const int chunk = static_cast<int>(std::min<size_t>(4096, frames - done));
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, chunk);
      for (int i = 0; i < chunk; ++i)
        for (int c = 0; c < channels; ++c) buffer[c][i] = signal[(done + i) * channels + c];
      vorbis_analysis_wrote(&vd, chunk);
      done += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (!eos && ogg_stream_pageout(&os, &page) != 0) {
          std::fwrite(page.header, 1, page.header_len, out);
          std::fwrite(page.body, 1, page.body_len, out);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return std::fclose(out) == 0;
}

// The whole file decoded from its start: interleaved stereo 16-bit frames.
inline std::vector<int16_t> decodeOgg(const std::string& path) {
  std::vector<int16_t> pcm;
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return pcm;
  char buffer[16384];
  int bitstream = 0;
  for (;;) {
    const long bytes = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &bitstream);
    if (bytes == OV_HOLE) continue;
    if (bytes <= 0) break;
    const auto* samples = reinterpret_cast<const int16_t*>(buffer);
    pcm.insert(pcm.end(), samples, samples + bytes / 2);
  }
  ov_clear(&vf);
  return pcm;
}

using ::TempDir;

}  // namespace testtone
