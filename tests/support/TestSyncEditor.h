#pragma once
// A sync tracker editor for tests: a loopback TCP server speaking the editor's side of the
// protocol to one demo at a time. It answers the greeting, records the track names and rows
// the demo sends, and sends whatever bytes a test gives it (well formed or not).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "demoSystem/SyncProtocol.h"

class TestSyncEditor {
 public:
  explicit TestSyncEditor(uint16_t port = 0);  // 127.0.0.1, a free port unless given
  ~TestSyncEditor();

  uint16_t port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  // Waits up to `ms` for a demo to connect and greet, and answers with `greeting`.
  bool accept(int ms = 5000, const std::string& greeting = "hello, demo!");
  // Reads what the demo sends for up to `ms`, or until `until` holds.
  bool read(int ms, const std::function<bool()>& until);
  bool waitForTracks(size_t count) { return read(5000, [&] { return tracks.size() >= count; }); }
  bool waitForClose(int ms = 5000) { return read(ms, [&] { return closedByDemo; }); }

  void send(const std::string& bytes);
  // The editor's commands as the protocol's description spells them (written out here, not
  // taken from the demo's encoder, so both sides are held to the description).
  void setKey(uint32_t track, const SyncKey& key);
  void deleteKey(uint32_t track, uint32_t row) { send(std::string(1, '\1') + big32(track) + big32(row)); }
  void setRow(uint32_t row) { send("\3" + big32(row)); }
  void pause(bool on) { send(on ? std::string("\4\1", 2) : std::string("\4\0", 2)); }
  void save() { send("\5"); }
  static std::string big32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
  }
  void dropClient();  // the editor going away; it still listens

  // Called every few milliseconds while the editor waits: a demo in the same thread polls.
  std::function<void()> pump;
  // What the demo sent on the current connection.
  std::vector<std::string> tracks;
  std::vector<uint32_t> rows;
  bool closedByDemo = false;
  std::string protocolError;  // what the demo sent that its side of the protocol does not hold

 private:
  void parse();

  int listener_ = -1, client_ = -1;
  uint16_t port_ = 0;
  std::string in_;
  bool greeted_ = false;
};
