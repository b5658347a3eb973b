#pragma once
// The demo's sound track: one Ogg Vorbis stream ("soundtrack.ogg", read from the working
// directory, never from the archive) played through the audio device, the capture of the
// mixed output for the oscilloscope, the spectrum of the mixed output, and the offline
// rendering of the same audio for headless captures.
//
// Everything here is called on the main thread. The device callback runs on the device's
// thread: it decodes nothing and allocates nothing. A feeder thread decodes ahead into a
// small PCM ring; the callback copies from that ring, applies the volume and feeds the
// capture ring and the spectrum history. Operations that touch the decoder (open, seek,
// close) hold the decoder mutex and, while they reset and refill the ring, the device lock;
// getSpectrum holds the device lock while it copies its 1024 samples.
//
// Volume uses the 0..255 scale, 255 being full; the seek dip is a quarter of it.

#include <atomic>
#include <cstdint>
#include <functional>

namespace platform {
class AudioDevice;
}

// [SECTION] sound and music

// Opens the sound output once (44.1 kHz stereo 16-bit). False, silently, when not even the
// dummy driver opens: the demo then runs on the clock alone. Returns soundInitialised.
bool initSound();
// Opens the stream if none is open; "Soundsystem not inited" (non-fatal) before initSound.
// A file that cannot be opened leaves no stream: play and seek then do nothing. The open
// stream is kept across reloads. Returns whether a stream is open.
bool openMusic(const char* fileName);
// Starts the stream at its current position: started paused, the volume read, unpaused.
// Nothing without a stream; "Could not play soundstream" (fatal) if it cannot start.
void playMusic();
void pauseMusic();
// Moves the stream to the sample at ms·44100/1000 (sample-accurate). Past the end it plays
// silence. Nothing without a stream.
void setMusicTime(uint32_t ms);
// The seek dip: a quarter of the volume read at play (integer division).
void duckMusic();
void restoreMusicVolume();
// The exit handler: closes the stream, then the sound output.
void closeSound();

bool isSoundInitialised();
bool isMusicPlaying();
// True from the first initSound until closeSound, whether or not it succeeded: with Music
// off the launcher never asks for sound, so false means silence is the viewer's choice.
bool isSoundRequested();

// Stream position of the next sample frame to be played (44.1 kHz frames); −1 without a
// stream. Past the end the position keeps counting through the silence.
int64_t musicPosition();
// Length of the stream in frames; 0 without a stream.
int64_t musicLength();
// Decoded frames waiting for the device, and frames the device found missing (played as
// silence) since sound was opened: diagnostics for tests and benchmarks.
int musicBufferedFrames();
int64_t musicUnderrunFrames();
// The volume on the 0..255 scale that the output applies now; −1 before the first play.
int musicChannelVolume();

// Installs another output (tests); null restores the SDL device. Only while sound is closed.
void setAudioDevice(platform::AudioDevice* device);

// [SECTION] capture (oscilloscope)
//
// Each mixed block becomes mono 16-bit samples ((left + right) >> 1) written into the ring
// block captureBlock names, which then moves on. A block is one device buffer of
// kCaptureBlockLength samples (about 23 ms); the ring holds kCaptureBlocks of them plus 16
// samples of margin, so a trace may read one sample past the last block.

constexpr int kCaptureBlockLength = 1024;
constexpr int kCaptureBlocks = 4;
constexpr int kCaptureRingLength = kCaptureBlockLength * kCaptureBlocks;  // without the margin

// Null until startCapture; kCaptureRingLength + 16 samples, zero-filled when created.
extern int16_t* captureRing;
// The block the capture writes next, 0..kCaptureBlocks−1. Readers on the main thread read
// it without a lock and tolerate a block that is overwritten while they read it.
extern std::atomic<int> captureBlock;

// "Oscillo: sound not inited" (fatal) without sound, reported at the caller's module and
// line. Creates the ring (zero-filled) and switches the capture on.
void startCapture(const char* sourceFile = __builtin_FILE(), int line = __builtin_LINE());
void setCaptureActive(bool active);
// Switches the capture off and frees the ring.
void stopCapture();

// [SECTION] spectrum
//
// 512 bins of the magnitude spectrum of the most recent 1024 mixed mono samples under a
// Hann window. Scaling: with samples taken as s/32768, bin k = 2·|X_k| / Σw (Σw = 512, the
// window's sum), clamped to 1. A full-scale sine centred on bin k reads 1.0 there; a sine
// of amplitude a reads a. Bin k is centred on k·44100/1024 Hz.

constexpr int kSpectrumSize = 512;
constexpr int kSpectrumWindow = 1024;

// Stands for the analyser unit: while off, no spectrum is computed.
void setSpectrumActive(bool active);
bool isSpectrumActive();
// The 512 bins, valid until the next call; null while the analyser is off, while sound is
// not initialised, or while no music plays.
const float* getSpectrum();
// The spectrum of any 1024 mono samples, with the scaling above.
void computeSpectrum(const int16_t* samples, float* bins);

// [SECTION] offline audio (captures)
//
// In capture mode no device is opened. setOfflineAudio(true) before initSound makes the
// sound "initialised" without any output; the launcher then calls renderOfflineAudio once
// per captured frame, before rendering it, with that frame's span [frame time, next frame
// time). The span's samples, frames floor(ms·44100/1000) up to the end's, are decoded from
// the stream at exactly that position (a span that does not continue the previous one
// seeks), scaled by the volume and handed to the sink. Consecutive spans chain without gap
// or overlap, so the sink receives exactly the audio a recording muxes.
//
// What the frame shows of the sound does not depend on the span, so a capture at any frame
// rate shows what playback shows at that moment: with p the frame time's sample frame, the
// spectrum is that of the 1024 samples before p, and the capture ring is left as a mixer
// running two blocks ahead of p would leave it: captureBlock 0, block 0 holding the samples
// [p−2048, p−1024), block 1 (the one a trace reads) [p−1024, p), blocks 2 and 3 the span's
// first samples from p on (zero where the span is shorter). Samples before the stream's
// start are silence. While the music is paused, the span is silence for the sink and
// neither the capture nor the spectrum changes (a paused device mixes nothing). Without
// `toSink` the span only moves what the frame shows of the sound (a capture's catch-up).

using OfflineAudioSink = std::function<void(const int16_t* stereo, int frames)>;

void setOfflineAudio(bool offline);
bool isOfflineAudio();
void setOfflineAudioSink(OfflineAudioSink sink);
void renderOfflineAudio(uint32_t startMs, uint32_t endMs, bool toSink = true);

// Writes interleaved stereo 16-bit 44.1 kHz samples as a WAV file (for muxing). False when
// the file cannot be written.
bool writeWavFile(const char* path, const int16_t* stereo, int64_t frames);
