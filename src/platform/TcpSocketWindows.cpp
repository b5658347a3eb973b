#include "platform/TcpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/WindowsText.h"

namespace platform::tcp {

namespace {

// Winsock is started once for the life of the process, by the first socket call; it is
// never stopped, since a lookup thread may outlive any one client.
bool socketsStarted(std::string* error) {
  static const int status = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (status != 0) *error = systemMessage(static_cast<unsigned long>(status));
  return status == 0;
}

SOCKET sock(Socket socket) { return static_cast<SOCKET>(socket); }

// select() over one socket: readable, writable, failed (a refused connection shows there).
struct Readiness {
  bool ready = false, failed = false;
};
Readiness selectOne(Socket socket, bool writable, int ms) {
  fd_set wanted, failures;
  FD_ZERO(&wanted);
  FD_ZERO(&failures);
  FD_SET(sock(socket), &wanted);
  FD_SET(sock(socket), &failures);
  timeval timeout{ms / 1000, (ms % 1000) * 1000};
  const int count = ::select(0, writable ? nullptr : &wanted, writable ? &wanted : nullptr, &failures, &timeout);
  if (count <= 0) return {};
  return {FD_ISSET(sock(socket), &wanted) != 0, FD_ISSET(sock(socket), &failures) != 0};
}

long outcome(int done, std::string* error) {
  if (done >= 0) return done;
  const int code = WSAGetLastError();
  if (code == WSAEWOULDBLOCK || code == WSAEINTR) return kWouldBlock;
  *error = systemMessage(static_cast<unsigned long>(code));
  return -1;
}

}  // namespace

std::vector<SocketAddress> lookUp(const std::string& host, uint16_t port, std::string* error) {
  std::vector<SocketAddress> addresses;
  if (!socketsStarted(error)) return addresses;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  for (addrinfo* a = status == 0 ? found : nullptr; a; a = a->ai_next) {
    SocketAddress address{};
    std::memcpy(address.storage, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof address.storage));
    address.length = static_cast<unsigned>(a->ai_addrlen);
    address.family = a->ai_family;
    addresses.push_back(address);
  }
  if (found) freeaddrinfo(found);
  *error = status != 0 ? systemMessage(static_cast<unsigned long>(status)) : addresses.empty() ? "no address" : "";
  return addresses;
}

Socket connectTo(const SocketAddress& address, bool* connected, std::string* error) {
  if (!socketsStarted(error)) return kNoSocket;
  const SOCKET s = WSASocketW(address.family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    *error = systemMessage(static_cast<unsigned long>(WSAGetLastError()));
    return kNoSocket;
  }
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  *connected = ::connect(s, reinterpret_cast<const sockaddr*>(address.storage), static_cast<int>(address.length)) == 0;
  if (!*connected && WSAGetLastError() != WSAEWOULDBLOCK) {
    *error = systemMessage(static_cast<unsigned long>(WSAGetLastError()));
    closesocket(s);
    return kNoSocket;
  }
  // Commands are a few bytes each and the editor waits for them: no coalescing delay.
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return static_cast<Socket>(s);
}

int connectOutcome(Socket socket, std::string* error) {
  const Readiness now = selectOne(socket, true, 0);
  if (now.ready && !now.failed) return 1;
  if (!now.failed) return 0;
  int status = 0;
  int length = sizeof status;
  getsockopt(sock(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&status), &length);
  *error = systemMessage(static_cast<unsigned long>(status ? status : WSAECONNREFUSED));
  return -1;
}

long sendSome(Socket socket, const void* data, size_t size, std::string* error) {
  const int chunk = static_cast<int>(std::min<size_t>(size, 1u << 30));
  return outcome(::send(sock(socket), static_cast<const char*>(data), chunk, 0), error);
}

long receiveSome(Socket socket, void* data, size_t size, std::string* error) {
  const int chunk = static_cast<int>(std::min<size_t>(size, 1u << 30));
  return outcome(::recv(sock(socket), static_cast<char*>(data), chunk, 0), error);
}

void waitFor(Socket socket, bool writable, int ms) { selectOne(socket, writable, ms); }

void closeSocket(Socket socket) { closesocket(sock(socket)); }

Socket listenOnLoopback(uint16_t* port, std::string* error) {
  if (!socketsStarted(error)) return kNoSocket;
  const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long nonBlocking = 1;
  if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    *error = systemMessage(static_cast<unsigned long>(WSAGetLastError()));
    if (s != INVALID_SOCKET) closesocket(s);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return static_cast<Socket>(s);
}

Socket acceptWithin(Socket listener, int ms) {
  waitFor(listener, false, ms);
  // An accepted socket takes the listener's non-blocking mode.
  const SOCKET s = ::accept(sock(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

void sleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace platform::tcp
