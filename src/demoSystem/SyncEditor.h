#pragma once
// The demo's side of a live session with a sync tracker editor: the demo connects to the
// editor as its client, asks for every track of the set, and from then on the editor's
// keys change the tracks while the demo plays; the editor seeks, pauses and asks for the
// tracks to be saved, and hears the row the demo plays.
//
// Nothing here ever waits for the network (but settle(), which a capture calls before its
// first frame on purpose): without an editor the demo plays on and a connection is tried
// about once a second; an editor that goes away or sends what the protocol does not hold
// is let go of with one line on stderr, and tried again a second later.
//
//   SyncEditor editor("localhost", 1338, syncTracks());
//   each frame:  const SyncNews news = editor.poll();   // act on news.seek / pause / save
//                editor.tellRow(time / syncRowLength());

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "demoSystem/SyncTracks.h"
#include "platform/TcpClient.h"

// What the editor asked for since the last poll (the last of each kind counts).
struct SyncNews {
  bool seek = false;
  uint32_t row = 0;
  bool pauseChanged = false;
  bool pause = false;
  bool save = false;
};

class SyncEditor {
 public:
  using Clock = std::function<int64_t()>;   // milliseconds, for the retry and quiet timers
  using Say = std::function<void(const std::string&)>;

  static constexpr int64_t kRetryMs = 1000;
  // A command begun and not finished for this long is a truncated one.
  static constexpr int64_t kPartialCommandMs = 1000;
  // Bytes read per poll, so that an editor flooding the demo does not hold a frame up.
  static constexpr size_t kReadBudget = 64 * 1024;
  // Bytes waiting to go out before the editor counts as one that does not read.
  static constexpr size_t kMaxPending = 1024 * 1024;

  // `say` gets each line for the viewer (default: stderr, "demoengine: " in front).
  SyncEditor(std::string host, uint16_t port, SyncTrackSet& tracks, Clock clock = {}, Say say = {});

  SyncNews poll();
  // The demo plays `row`: the editor hears it when it differs from the row last told or
  // heard from the editor.
  void tellRow(uint32_t row);
  // Before a capture's first frame: waits for the connection and reads the editor's answers
  // until it has been quiet for `quietMs` (at most `maxMs` in all, and not at all once the
  // editor turns out not to be there). Returns the news read meanwhile.
  SyncNews settle(int64_t quietMs, int64_t maxMs);
  // The last settle() heard keys from the editor, or ended with every track asked for on a
  // connection that stayed open until the editor had been quiet (an editor without keys
  // answers nothing): its answers are in. False when the editor was not there, never
  // greeted, or closed the connection before any key (it serves one demo at a time).
  bool settledWithAnswers() const { return settledWithAnswers_; }

  // The greetings have been exchanged.
  bool connected() const { return stage_ == Stage::Ready; }
  std::string address() const { return host_ + ":" + std::to_string(port_); }

 private:
  enum class Stage { Idle, Connecting, Greeting, Ready };

  void attempt(int64_t now);
  void lose(const std::string& line);
  void flush();
  // False when the connection closed or broke (what came before it is in in_).
  bool receive(int64_t now);
  void greet();
  void readCommands(SyncNews& news, int64_t now);
  void requestNewTracks();

  std::string host_;
  uint16_t port_;
  SyncTrackSet& tracks_;
  Clock clock_;
  Say say_;
  platform::TcpClient socket_;
  Stage stage_ = Stage::Idle;
  int64_t nextAttempt_ = 0;
  std::string lastSaid_;        // the line said for this outage
  std::string out_;             // waiting to be sent
  std::string in_;              // received, not parsed yet
  int64_t partialSince_ = -1;   // when the unparsed rest began
  int64_t lastTraffic_ = 0;
  size_t requested_ = 0;        // tracks asked for on this connection
  int64_t lastRow_ = -1;        // last row told or heard
  bool settledWithAnswers_ = false;
  bool keysHeard_ = false;      // a SET_KEY came during the settle
  // Keys refused on this connection (track, row): the editor sends them again at every
  // request, and each is told once.
  std::set<std::pair<uint32_t, uint32_t>> refused_;
};

// Splits "HOST:PORT", "HOST" or ":PORT" (the default port 1338, the default host localhost);
// false for a port that is not 1–65535.
bool parseSyncAddress(const std::string& text, std::string* host, uint16_t* port);
