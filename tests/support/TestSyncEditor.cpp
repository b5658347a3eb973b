#include "support/TestSyncEditor.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

// Winsock under the POSIX names the server below uses. Sockets are small handles in practice
// and INVALID_SOCKET narrows to -1, so the int members keep working.
namespace {
constexpr int SOCK_CLOEXEC = 0;
constexpr int MSG_NOSIGNAL = 0;
using socklen_t = int;
using ssize_t = long long;
int poll(WSAPOLLFD* fds, ULONG count, int ms) {
  if (count == 0) return Sleep(static_cast<DWORD>(ms)), 0;
  return WSAPoll(fds, count, ms);
}
using pollfd = WSAPOLLFD;
int close(int s) { return closesocket(static_cast<SOCKET>(s)); }
int accept4(int s, sockaddr* address, socklen_t* length, int) {
  return static_cast<int>(::accept(static_cast<SOCKET>(s), address, length));
}
struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
} winsock;
}  // namespace
#define setsockopt(s, level, name, value, size) \
  setsockopt(static_cast<SOCKET>(s), level, name, reinterpret_cast<const char*>(value), size)
#else
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstring>

TestSyncEditor::TestSyncEditor(uint16_t port) {
  listener_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(listener_, 4) == 0 &&
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port_ = ntohs(address.sin_port);
}

TestSyncEditor::~TestSyncEditor() {
  dropClient();
  if (listener_ >= 0) close(listener_);
}

bool TestSyncEditor::accept(int ms, const std::string& greeting) {
  dropClient();
  pollfd p{static_cast<decltype(pollfd::fd)>(listener_), POLLIN, 0};
  for (int waited = 0; poll(&p, 1, 5) <= 0; waited += 5) {
    if (pump) pump();
    if (waited >= ms) return false;
  }
  client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client_ < 0 || !read(ms, [&] { return greeted_ || closedByDemo; }) || !greeted_) return false;
  send(greeting);
  return true;
}

bool TestSyncEditor::read(int ms, const std::function<bool()>& until) {
  for (int waited = 0; !until(); waited += 5) {
    if (waited >= ms) return false;
    if (pump) pump();
    pollfd p{static_cast<decltype(pollfd::fd)>(client_), POLLIN, 0};
    if (client_ < 0 || closedByDemo || poll(&p, 1, 5) <= 0) {
      if (client_ < 0 || closedByDemo) poll(nullptr, 0, 5);
      continue;
    }
    char buffer[4096];
    const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
    if (got <= 0) closedByDemo = true;
    else in_.append(buffer, static_cast<size_t>(got)), parse();
  }
  return true;
}

void TestSyncEditor::dropClient() {
  if (client_ >= 0) close(client_);
  client_ = -1;
  in_.clear();
  tracks.clear();
  rows.clear();
  greeted_ = closedByDemo = false;
  protocolError.clear();
}

void TestSyncEditor::send(const std::string& bytes) {
  if (client_ >= 0) (void)::send(client_, bytes.data(), static_cast<int>(bytes.size()), MSG_NOSIGNAL);
}

void TestSyncEditor::setKey(uint32_t track, const SyncKey& key) {
  uint32_t bits = 0;
  std::memcpy(&bits, &key.value, sizeof bits);
  send(std::string(1, '\0') + big32(track) + big32(key.row) + big32(bits) +
       static_cast<char>(key.interpolation));
}

void TestSyncEditor::parse() {
  auto big32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(in_[at + i]);
    return v;
  };
  static const std::string kGreeting = "hello, synctracker!";
  if (!greeted_) {
    if (in_.size() < kGreeting.size()) return;
    if (in_.compare(0, kGreeting.size(), kGreeting) != 0) protocolError = "greeting: " + in_;
    in_.erase(0, kGreeting.size());
    greeted_ = true;
  }
  while (in_.size() >= 5 && protocolError.empty()) {
    if (in_[0] == 3) {  // SET_ROW u32
      rows.push_back(big32(1));
      in_.erase(0, 5);
    } else if (in_[0] == 2) {  // GET_TRACK u32 length, name
      const uint32_t length = big32(1);
      if (in_.size() < 5 + length) return;
      tracks.push_back(in_.substr(5, length));
      in_.erase(0, 5 + length);
    } else {
      protocolError = "command byte " + std::to_string(static_cast<uint8_t>(in_[0]));
    }
  }
}
