#pragma once
// One track of a sync tracker: keys at rows, each with a value and the interpolation that
// runs from it to the next key, and the track file that holds them on disk. A track named
// "INSTANCE:Variable" drives that variable of that effect (see SyncTracks.h) whenever it
// holds keys; a demo time t is row t / rowLength, fractions included.
//
// Track file (what a packed demo carries under data/sync/): a 32-bit key count, then per
// key its 32-bit row, 32-bit IEEE float value and one interpolation byte, little-endian,
// rows strictly ascending.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "demoSystem/Variable.h"

// [SECTION] Rows

// Milliseconds per row chosen on the command line; 0 means one row per beat (DEMO_BEAT).
extern uint32_t syncRowMs;
// The row length in force, never 0.
uint32_t syncRowLength();

// [SECTION] Keys and interpolation

enum class SyncInterpolation : uint8_t { Step = 0, Linear = 1, Smooth = 2, Ramp = 3 };
constexpr uint8_t kSyncInterpolationCount = 4;

struct SyncKey {
  uint32_t row = 0;
  float value = 0;
  SyncInterpolation interpolation = SyncInterpolation::Step;

  bool operator==(const SyncKey&) const = default;
};

// The value between key `from` and the next key `to` at `row` (from.row <= row <= to.row):
// step keeps from's value; linear, smooth (3t² − 2t³) and ramp (t²) move from from's value
// to to's by the fraction t of the way from from.row to to.row.
double interpolateKeys(const SyncKey& from, const SyncKey& to, double row);

// [SECTION] The track

class SyncTrack final : public VariableDriver {
 public:
  // More keys than this in one track is not an editor at work: the keys past it are refused.
  static constexpr size_t kMaxKeys = size_t{1} << 16;

  explicit SyncTrack(std::string name) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  // The keys in row order (a copy: for saving and looking at, not for every frame).
  std::vector<SyncKey> keys() const;
  // The keys in row order without a copy, for whoever looks at them every frame.
  template <class F>
  void forEachKey(F visit) const {
    for (const auto& [row, key] : keys_) visit(SyncKey{row, key.value, key.interpolation});
  }
  size_t keyCount() const { return keys_.size(); }

  // Adds the key or replaces the one at its row; false (nothing changed) when a new key
  // would take the track past kMaxKeys.
  bool setKey(const SyncKey& key);
  void deleteKey(uint32_t row);
  void clearKeys() { keys_.clear(); }
  // Keys with rows strictly ascending (as a track file holds them).
  void assignKeys(const std::vector<SyncKey>& keys);

  // Before the first key its value, after the last key its value, between two keys the
  // interpolation of the earlier one. 0 without keys.
  double valueAtRow(double row) const;

  // How the track drives a variable: the value at time / syncRowLength(); on a choice
  // variable it is scaled over the choices the way a timeline number is (× (count − 1)).
  bool drives() const override { return !keys_.empty(); }
  float valueAt(uint32_t time) const override;
  // The track drives `variable` from now on (its driver is set to this track).
  void bind(Variable& variable);

 private:
  struct Key {
    float value;
    SyncInterpolation interpolation;
  };

  std::string name_;
  // By row: an editor may key any row in any order, and a key costs the same wherever it goes.
  std::map<uint32_t, Key> keys_;
  uint32_t choiceScale_ = 0;   // (choiceCount − 1) of a bound choice variable, else 0
};

// [SECTION] Track files

// Where the track of that name is kept inside a demo: "data/sync/sync_NAME.track", the name
// that the protocol's reference player builds from the base "data/sync/sync": every byte of
// the name but letters, digits, "." "_" and "/" written as "-" and two upper-case hex digits
// ("fade:Alpha" is "data/sync/sync_fade-3AAlpha.track").
std::string trackFilePath(std::string_view trackName);
// The file's name inside data/sync (a "/" of the track name makes a folder).
std::string trackFileName(std::string_view trackName);
// The name the previous version saved the track under ("fade:Alpha.track", bytes outside
// letters, digits and "_-.:#" as %XX): still read, and removed when the track is saved.
std::string previousTrackFileName(std::string_view trackName);
// The track name a file inside data/sync (its path below that folder) stands for, in either
// scheme (*previous tells which); false when it is no track file name (no ".track" ending,
// or a bad %XX).
bool trackNameFromFileName(std::string_view fileName, std::string* trackName, bool* previous = nullptr);

constexpr const char* kSyncFolder = "data/sync";

// Reads a track file's bytes. False, with the reason in *problem, for a file too short for
// its key count, bytes after its keys, rows not strictly ascending, an interpolation
// outside 0–3 or a value that is not a finite number.
bool readTrackFile(const uint8_t* data, size_t size, std::vector<SyncKey>* keys, std::string* problem);
std::string trackFileBytes(const std::vector<SyncKey>& keys);
