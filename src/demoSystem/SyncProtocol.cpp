#include "demoSystem/SyncProtocol.h"

#include <cmath>
#include <cstring>

namespace {

uint32_t readBig32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

void appendBig32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

// Length of each command the editor sends, command byte included; 0 for the others.
size_t commandLength(uint8_t command) {
  switch (static_cast<SyncCommand>(command)) {
    case SyncCommand::SetKey: return 14;
    case SyncCommand::DeleteKey: return 9;
    case SyncCommand::SetRow: return 5;
    case SyncCommand::Pause: return 2;
    case SyncCommand::SaveTracks: return 1;
    case SyncCommand::GetTrack: return 0;
  }
  return 0;
}

SyncRead malformed(std::string* problem, std::string text) {
  *problem = std::move(text);
  return SyncRead::Malformed;
}

}  // namespace

SyncRead readSyncCommand(const uint8_t* data, size_t size, size_t trackCount, SyncMessage* message, size_t* used,
                         std::string* problem) {
  if (size == 0) return SyncRead::NeedMore;
  const uint8_t command = data[0];
  const size_t length = commandLength(command);
  if (length == 0) {
    if (command == static_cast<uint8_t>(SyncCommand::GetTrack)) return malformed(problem, "GET_TRACK sent by the editor");
    return malformed(problem, "unknown command byte " + std::to_string(command));
  }
  if (size < length) return SyncRead::NeedMore;

  SyncMessage m;
  m.command = static_cast<SyncCommand>(command);
  switch (m.command) {
    case SyncCommand::SetKey:
    case SyncCommand::DeleteKey:
      m.track = readBig32(data + 1);
      m.key.row = readBig32(data + 5);
      if (m.track >= trackCount)
        return malformed(problem, "key for track " + std::to_string(m.track) + ", of " + std::to_string(trackCount) +
                                      " asked for");
      if (m.command == SyncCommand::SetKey) {
        const uint32_t bits = readBig32(data + 9);
        std::memcpy(&m.key.value, &bits, sizeof m.key.value);
        if (!std::isfinite(m.key.value)) m.refused = "its value is not a number";
        if (data[13] >= kSyncInterpolationCount)
          return malformed(problem, "unknown interpolation " + std::to_string(data[13]));
        m.key.interpolation = static_cast<SyncInterpolation>(data[13]);
      }
      break;
    case SyncCommand::SetRow: m.key.row = readBig32(data + 1); break;
    case SyncCommand::Pause: m.pause = data[1] != 0; break;
    case SyncCommand::SaveTracks:
    case SyncCommand::GetTrack: break;
  }
  *message = m;
  *used = length;
  return SyncRead::Complete;
}

void appendGetTrack(std::string& out, std::string_view trackName) {
  out += static_cast<char>(SyncCommand::GetTrack);
  appendBig32(out, static_cast<uint32_t>(trackName.size()));
  out += trackName;
}

void appendSetRow(std::string& out, uint32_t row) {
  out += static_cast<char>(SyncCommand::SetRow);
  appendBig32(out, row);
}

void appendSetKey(std::string& out, uint32_t track, const SyncKey& key) {
  out += static_cast<char>(SyncCommand::SetKey);
  appendBig32(out, track);
  appendBig32(out, key.row);
  uint32_t bits = 0;
  std::memcpy(&bits, &key.value, sizeof bits);
  appendBig32(out, bits);
  out += static_cast<char>(key.interpolation);
}

void appendDeleteKey(std::string& out, uint32_t track, uint32_t row) {
  out += static_cast<char>(SyncCommand::DeleteKey);
  appendBig32(out, track);
  appendBig32(out, row);
}

void appendPause(std::string& out, bool pause) {
  out += static_cast<char>(SyncCommand::Pause);
  out += static_cast<char>(pause ? 1 : 0);
}

void appendSaveTracks(std::string& out) { out += static_cast<char>(SyncCommand::SaveTracks); }
