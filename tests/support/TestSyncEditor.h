#pragma once
// A sync tracker editor for tests: a loopback TCP server speaking the editor's side of the
// protocol, one demo at a time. It answers the greeting, records the track names and rows
// the demo sends, and sends whatever bytes a test gives it (well formed or not).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "demoSystem/SyncTrack.h"

class TestSyncEditor {
 public:
  // Listens on 127.0.0.1 at a free port (or at `port`).
  explicit TestSyncEditor(uint16_t port = 0);
  ~TestSyncEditor();
  TestSyncEditor(const TestSyncEditor&) = delete;
  TestSyncEditor& operator=(const TestSyncEditor&) = delete;

  uint16_t port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  // Waits up to `ms` for a demo to connect and send its greeting; answers it with
  // `greeting`. False when no demo greeted in time.
  bool accept(int ms = 5000, const std::string& greeting = "hello, demo!");
  bool hasClient() const { return client_ >= 0; }

  // Reads what the demo sent for up to `ms`, or until `until` holds.
  template <class Until>
  bool read(int ms, Until until) {
    for (int waited = 0;; waited += 5) {
      if (until()) return true;
      if (waited >= ms) return false;
      readFor(5);
    }
  }
  bool waitForTracks(size_t count, int ms = 5000) {
    return read(ms, [&] { return tracks.size() >= count; });
  }
  // True once the demo closed the connection (reads for up to `ms`).
  bool waitForClose(int ms = 5000) { return read(ms, [&] { return closedByDemo; }); }

  void send(const std::string& bytes);
  void setKey(uint32_t track, const SyncKey& key);
  void deleteKey(uint32_t track, uint32_t row);
  void setRow(uint32_t row);
  void pause(bool on);
  void save();
  // Closes the connection to the demo (the editor going away); the port stays open.
  void dropClient();

  // Called while the editor waits (every few milliseconds), for a demo in the same thread
  // to poll its connection meanwhile.
  std::function<void()> pump;

  // What the demo sent on the current connection.
  std::vector<std::string> tracks;
  std::vector<uint32_t> rows;
  bool closedByDemo = false;
  std::string protocolError;  // anything the demo sent that is not a command of its side

 private:
  void readFor(int ms);
  void parse();

  int listener_ = -1;
  int client_ = -1;
  uint16_t port_ = 0;
  std::string in_;
  bool greeted_ = false;
};
