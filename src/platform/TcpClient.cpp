#include "platform/TcpClient.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

namespace platform {

// What the lookup thread hands over; shared, so that a client closed meanwhile leaves it to
// the thread.
struct TcpClient::Lookup {
  std::mutex mutex;
  bool done = false;
  std::vector<Address> addresses;
  std::string error;
};

namespace {

void lookUp(std::shared_ptr<TcpClient::Lookup> lookup, std::string host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  std::vector<TcpClient::Address> addresses;
  for (addrinfo* a = status == 0 ? found : nullptr; a; a = a->ai_next) {
    TcpClient::Address address{};
    std::memcpy(&address.storage, a->ai_addr, std::min<size_t>(a->ai_addrlen, sizeof address.storage));
    address.length = static_cast<unsigned>(a->ai_addrlen);
    address.family = a->ai_family;
    addresses.push_back(address);
  }
  if (found) freeaddrinfo(found);
  std::lock_guard<std::mutex> lock(lookup->mutex);
  lookup->addresses = std::move(addresses);
  lookup->error = status != 0 ? gai_strerror(status) : lookup->addresses.empty() ? "no address" : "";
  lookup->done = true;
}

}  // namespace

TcpClient::~TcpClient() { close(); }

void TcpClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  lookup_.reset();
  state_ = State::Closed;
}

void TcpClient::fail(const std::string& why) {
  close();
  error_ = why;
}

bool TcpClient::connect(const std::string& host, uint16_t port) {
  close();
  error_.clear();
  next_ = 0;
  if (host == host_ && port == port_ && !addresses_.empty()) {
    if (tryNextAddress()) return true;
    state_ = State::Closed;
    return false;
  }
  host_ = host;
  port_ = port;
  addresses_.clear();
  lookup_ = std::make_shared<Lookup>();
  std::thread(lookUp, lookup_, host, port).detach();
  state_ = State::Connecting;
  return true;
}

bool TcpClient::tryNextAddress() {
  // "localhost" may stand for ::1 and 127.0.0.1, and an editor listens on one of them.
  while (next_ < addresses_.size()) {
    const Address& address = addresses_[next_++];
    const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error_ = std::strerror(errno);
      continue;
    }
    const bool atOnce = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0;
    if (!atOnce && errno != EINPROGRESS) {
      error_ = std::strerror(errno);
      ::close(fd);
      continue;
    }
    fd_ = fd;
    state_ = atOnce ? State::Connected : State::Connecting;
    // Commands are a few bytes each and the editor waits for them: no coalescing delay.
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
  }
  return false;
}

TcpClient::State TcpClient::poll() {
  if (state_ != State::Connecting) return state_;
  if (lookup_) {
    std::lock_guard<std::mutex> lock(lookup_->mutex);
    if (!lookup_->done) return state_;
    addresses_ = std::move(lookup_->addresses);
    error_ = lookup_->error;
  }
  if (fd_ < 0) {
    lookup_.reset();
    if (!tryNextAddress()) state_ = State::Closed;
    return state_;
  }
  pollfd p{fd_, POLLOUT, 0};
  if (::poll(&p, 1, 0) <= 0) return state_;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error == 0) {
    state_ = State::Connected;
    return state_;
  }
  fail(std::strerror(error));
  if (tryNextAddress()) state_ = State::Connecting;
  return state_;
}

long TcpClient::send(const void* data, size_t size) {
  if (state_ != State::Connected) return -1;
  // No SIGPIPE for an editor that went away: the error comes back here instead.
  const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) return static_cast<long>(sent);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  fail(std::strerror(errno));
  return -1;
}

long TcpClient::receive(void* data, size_t size) {
  if (state_ != State::Connected) return -1;
  const ssize_t got = ::recv(fd_, data, size, MSG_DONTWAIT);
  if (got > 0) return static_cast<long>(got);
  if (got == 0) {
    fail("closed by the peer");
    return -1;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  fail(std::strerror(errno));
  return -1;
}

void TcpClient::wait(int ms) {
  if (fd_ < 0) {
    // Nothing to wait on but the lookup thread: a short sleep.
    if (state_ == State::Connecting) ::poll(nullptr, 0, ms);
    return;
  }
  pollfd p{fd_, static_cast<short>(state_ == State::Connecting ? POLLOUT : POLLIN), 0};
  ::poll(&p, 1, ms);
}

}  // namespace platform
