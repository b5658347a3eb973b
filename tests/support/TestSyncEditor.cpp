#include "support/TestSyncEditor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>


#include "demoSystem/SyncProtocol.h"

namespace {

uint32_t big32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8 | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3]));
}

}  // namespace

TestSyncEditor::TestSyncEditor(uint16_t port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0) {
    ::close(listener_);
    listener_ = -1;
    return;
  }
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

TestSyncEditor::~TestSyncEditor() {
  dropClient();
  if (listener_ >= 0) ::close(listener_);
}

bool TestSyncEditor::accept(int ms, const std::string& greeting) {
  dropClient();
  pollfd p{listener_, POLLIN, 0};
  for (int waited = 0;; waited += 5) {
    if (pump) pump();
    if (::poll(&p, 1, 5) > 0) break;
    if (waited >= ms) return false;
  }
  client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client_ < 0) return false;
  if (!read(ms, [&] { return greeted_ || closedByDemo; }) || !greeted_) return false;
  send(greeting);
  return true;
}

void TestSyncEditor::dropClient() {
  if (client_ >= 0) ::close(client_);
  client_ = -1;
  in_.clear();
  tracks.clear();
  rows.clear();
  greeted_ = false;
  closedByDemo = false;
  protocolError.clear();
}

void TestSyncEditor::send(const std::string& bytes) {
  if (client_ >= 0) (void)::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void TestSyncEditor::setKey(uint32_t track, const SyncKey& key) {
  std::string wire;
  appendSetKey(wire, track, key);
  send(wire);
}

void TestSyncEditor::deleteKey(uint32_t track, uint32_t row) {
  std::string wire;
  appendDeleteKey(wire, track, row);
  send(wire);
}

void TestSyncEditor::setRow(uint32_t row) {
  std::string wire;
  appendSetRow(wire, row);
  send(wire);
}

void TestSyncEditor::pause(bool on) {
  std::string wire;
  appendPause(wire, on);
  send(wire);
}

void TestSyncEditor::save() {
  std::string wire;
  appendSaveTracks(wire);
  send(wire);
}

void TestSyncEditor::readFor(int ms) {
  if (pump) pump();
  if (client_ < 0 || closedByDemo) {
    ::poll(nullptr, 0, ms);
    return;
  }
  pollfd p{client_, POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return;
  char buffer[4096];
  const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
  if (got <= 0) {
    closedByDemo = true;
    return;
  }
  in_.append(buffer, static_cast<size_t>(got));
  parse();
}

void TestSyncEditor::parse() {
  if (!greeted_) {
    if (in_.size() < kSyncClientGreeting.size()) return;
    if (in_.compare(0, kSyncClientGreeting.size(), kSyncClientGreeting) != 0) protocolError = "greeting: " + in_;
    in_.erase(0, kSyncClientGreeting.size());
    greeted_ = true;
  }
  while (!in_.empty() && protocolError.empty()) {
    const auto command = static_cast<SyncCommand>(in_[0]);
    if (command == SyncCommand::SetRow) {
      if (in_.size() < 5) return;
      rows.push_back(big32(in_, 1));
      in_.erase(0, 5);
    } else if (command == SyncCommand::GetTrack) {
      if (in_.size() < 5) return;
      const uint32_t length = big32(in_, 1);
      if (in_.size() < 5 + length) return;
      tracks.push_back(in_.substr(5, length));
      in_.erase(0, 5 + length);
    } else {
      protocolError = "command byte " + std::to_string(static_cast<int>(in_[0]));
    }
  }
}
