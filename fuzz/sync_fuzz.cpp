// What a sync editor or a sync track file can hand the demo: never a crash, a read past the
// data, a key list out of order or a value that is not a number.
//
// The first byte picks the reader: even, the editor's command stream (applied to four
// tracks the way a connection applies it, then read back at a few rows); odd, a track
// file (which, once read, must write back to the same bytes). Either way the rest is also
// taken as a track file's name.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "demoSystem/SyncProtocol.h"
#include "demoSystem/SyncTrack.h"

namespace {

void checkTrack(const SyncTrack& track) {
  const std::vector<SyncKey> keys = track.keys();
  for (size_t i = 1; i < keys.size(); ++i)
    if (keys[i].row <= keys[i - 1].row) __builtin_trap();
  for (double row : {-1.0, 0.0, 0.5, 7.25, 1e6, 4.3e9}) {
    const double value = track.valueAtRow(row);
    if (!std::isfinite(value) && !keys.empty()) {
      // Finite keys interpolate to finite values unless the difference overflows a double,
      // which float keys cannot.
      __builtin_trap();
    }
  }
}

void commands(const uint8_t* data, size_t size) {
  std::vector<SyncTrack> tracks;
  for (const char* name : {"a:Speed", "a:Alpha", "b:Camera", "b:Fog"}) tracks.emplace_back(name);
  size_t at = 0;
  while (at < size) {
    SyncMessage message;
    size_t used = 0;
    std::string problem;
    const SyncRead read = readSyncCommand(data + at, size - at, tracks.size(), &message, &used, &problem);
    if (read != SyncRead::Complete) {
      if (read == SyncRead::Malformed && problem.empty()) __builtin_trap();
      break;
    }
    if (used == 0 || used > size - at) __builtin_trap();
    at += used;
    if (message.command == SyncCommand::SetKey) {
      // A value that is not a number comes refused (the editor keeps its connection).
      if (!std::isfinite(message.key.value) != (message.refused != nullptr)) __builtin_trap();
      if (!message.refused) tracks[message.track].setKey(message.key);
    } else if (message.command == SyncCommand::DeleteKey) {
      tracks[message.track].deleteKey(message.key.row);
    }
  }
  for (const SyncTrack& track : tracks) checkTrack(track);
}

void trackFile(const uint8_t* data, size_t size) {
  std::vector<SyncKey> keys;
  std::string problem;
  if (!readTrackFile(data, size, &keys, &problem)) {
    if (problem.empty() || !keys.empty()) __builtin_trap();
    return;
  }
  if (trackFileBytes(keys) != std::string(reinterpret_cast<const char*>(data), size)) __builtin_trap();
  SyncTrack track("a:b");
  track.assignKeys(keys);
  checkTrack(track);
}

// The bytes as a file name of data/sync: whatever it decodes to must encode to a name that
// decodes to it again.
void fileName(const uint8_t* data, size_t size) {
  std::string name;
  if (!trackNameFromFileName(std::string(reinterpret_cast<const char*>(data), size), &name)) return;
  std::string again;
  if (!trackNameFromFileName(trackFileName(name), &again) || again != name) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) commands(data + 1, size - 1);
  else trackFile(data + 1, size - 1);
  fileName(data + 1, size - 1);
  return 0;
}
