#include "platform/TcpSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform::tcp {

std::vector<SocketAddress> lookUp(const std::string& host, uint16_t port, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  std::vector<SocketAddress> addresses;
  for (addrinfo* a = status == 0 ? found : nullptr; a; a = a->ai_next) {
    SocketAddress address{};
    std::memcpy(address.storage, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof address.storage));
    address.length = static_cast<unsigned>(a->ai_addrlen);
    address.family = a->ai_family;
    addresses.push_back(address);
  }
  if (found) freeaddrinfo(found);
  *error = status != 0 ? gai_strerror(status) : addresses.empty() ? "no address" : "";
  return addresses;
}

Socket connectTo(const SocketAddress& address, bool* connected, std::string* error) {
  const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::strerror(errno);
    return kNoSocket;
  }
  *connected = ::connect(fd, reinterpret_cast<const sockaddr*>(address.storage), address.length) == 0;
  if (!*connected && errno != EINPROGRESS) {
    *error = std::strerror(errno);
    ::close(fd);
    return kNoSocket;
  }
  // Commands are a few bytes each and the editor waits for them: no coalescing delay.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

int connectOutcome(Socket socket, std::string* error) {
  const int fd = static_cast<int>(socket);
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, 0) <= 0) return 0;
  int status = 0;
  socklen_t length = sizeof status;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &status, &length) != 0) status = errno;
  if (status == 0) return 1;
  *error = std::strerror(status);
  return -1;
}

namespace {

long outcome(ssize_t done, std::string* error) {
  if (done >= 0) return static_cast<long>(done);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kWouldBlock;
  *error = std::strerror(errno);
  return -1;
}

}  // namespace

long sendSome(Socket socket, const void* data, size_t size, std::string* error) {
  // No SIGPIPE for an editor that went away: the error comes back here instead.
  return outcome(::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL | MSG_DONTWAIT), error);
}

long receiveSome(Socket socket, void* data, size_t size, std::string* error) {
  return outcome(::recv(static_cast<int>(socket), data, size, MSG_DONTWAIT), error);
}

void waitFor(Socket socket, bool writable, int ms) {
  pollfd p{static_cast<int>(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  ::poll(&p, 1, ms);
}

void closeSocket(Socket socket) { ::close(static_cast<int>(socket)); }

Socket listenOnLoopback(uint16_t* port, std::string* error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

Socket acceptWithin(Socket listener, int ms) {
  waitFor(listener, false, ms);
  const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
}

void sleepMs(int ms) { ::poll(nullptr, 0, ms); }

}  // namespace platform::tcp
