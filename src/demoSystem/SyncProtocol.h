#pragma once
// The sync tracker's wire format, as the demo (the client) speaks it with the editor (the
// server): a greeting each way, then commands of one command byte and big-endian fields.
//
//   demo → editor   "hello, synctracker!"                         greeting, 19 bytes
//   editor → demo   "hello, demo!"                                greeting, 12 bytes
//   demo → editor   2 GET_TRACK  u32 name length, name bytes      asks for a track's keys;
//                                                                 the order of the asks
//                                                                 numbers the tracks from 0
//   demo → editor   3 SET_ROW    u32 row                          where the demo plays
//   editor → demo   0 SET_KEY    u32 track, u32 row, f32 value, u8 interpolation
//                   1 DELETE_KEY u32 track, u32 row
//                   3 SET_ROW    u32 row                          seek there
//                   4 PAUSE      u8 (non-zero: pause, 0: play)
//                   5 SAVE_TRACKS                                 write the track files
//
// Only parsing and encoding live here; the connection is in SyncEditor.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "demoSystem/SyncTrack.h"

constexpr std::string_view kSyncClientGreeting = "hello, synctracker!";
constexpr std::string_view kSyncServerGreeting = "hello, demo!";
constexpr uint16_t kSyncDefaultPort = 1338;

enum class SyncCommand : uint8_t {
  SetKey = 0,
  DeleteKey = 1,
  GetTrack = 2,
  SetRow = 3,
  Pause = 4,
  SaveTracks = 5,
};

// One command from the editor.
struct SyncMessage {
  SyncCommand command = SyncCommand::SaveTracks;
  uint32_t track = 0;  // SET_KEY, DELETE_KEY
  SyncKey key;         // SET_KEY (the row also of DELETE_KEY and SET_ROW)
  bool pause = false;  // PAUSE
  // A SET_KEY whose value is not a finite number: the command is whole and the connection
  // goes on, but the key is not the demo's to take (why, else null).
  const char* refused = nullptr;
};

enum class SyncRead {
  Complete,   // *message holds the command, *used its length
  NeedMore,   // the bytes end inside a command (nothing used)
  Malformed,  // *problem says why; the connection cannot go on
};

// Reads the editor's first command from `data`. `trackCount` is the number of tracks asked
// for on this connection: a SET_KEY or DELETE_KEY for another index is malformed, as are an
// interpolation outside 0–3, a command byte the editor does not send (GET_TRACK included)
// and an unknown one. A value that is not a finite number is read, with message->refused.
SyncRead readSyncCommand(const uint8_t* data, size_t size, size_t trackCount, SyncMessage* message, size_t* used,
                         std::string* problem);

// The longest track name the demo asks for; longer names are not asked for.
constexpr size_t kMaxSyncTrackName = 4096;

void appendGetTrack(std::string& out, std::string_view trackName);
void appendSetRow(std::string& out, uint32_t row);

// The encodings of the editor's commands, for tests and tools that play the editor.
void appendSetKey(std::string& out, uint32_t track, const SyncKey& key);
void appendDeleteKey(std::string& out, uint32_t track, uint32_t row);
void appendPause(std::string& out, bool pause);
void appendSaveTracks(std::string& out);
