#include "platform/TcpClient.h"

#include <mutex>
#include <thread>

#include "platform/TcpSocket.h"

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
  std::string error;
  std::vector<TcpClient::Address> addresses = tcp::lookUp(host, port, &error);
  std::lock_guard<std::mutex> lock(lookup->mutex);
  lookup->addresses = std::move(addresses);
  lookup->error = error;
  lookup->done = true;
}

}  // namespace

TcpClient::~TcpClient() { close(); }

void TcpClient::close() {
  if (socket_ != tcp::kNoSocket) tcp::closeSocket(socket_);
  socket_ = tcp::kNoSocket;
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
    bool connected = false;
    const tcp::Socket socket = tcp::connectTo(addresses_[next_++], &connected, &error_);
    if (socket == tcp::kNoSocket) continue;
    socket_ = socket;
    state_ = connected ? State::Connected : State::Connecting;
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
  if (socket_ == tcp::kNoSocket) {
    lookup_.reset();
    if (!tryNextAddress()) state_ = State::Closed;
    return state_;
  }
  std::string why;
  const int outcome = tcp::connectOutcome(socket_, &why);
  if (outcome == 0) return state_;
  if (outcome > 0) {
    state_ = State::Connected;
    return state_;
  }
  fail(why);
  if (tryNextAddress()) state_ = State::Connecting;
  return state_;
}

long TcpClient::send(const void* data, size_t size) {
  if (state_ != State::Connected) return -1;
  std::string why;
  const long sent = tcp::sendSome(socket_, data, size, &why);
  if (sent >= 0) return sent;
  if (sent == tcp::kWouldBlock) return 0;
  fail(why);
  return -1;
}

long TcpClient::receive(void* data, size_t size) {
  if (state_ != State::Connected) return -1;
  std::string why;
  const long got = tcp::receiveSome(socket_, data, size, &why);
  if (got > 0) return got;
  if (got == 0) {
    fail("closed by the peer");
    return -1;
  }
  if (got == tcp::kWouldBlock) return 0;
  fail(why);
  return -1;
}

void TcpClient::wait(int ms) {
  if (socket_ == tcp::kNoSocket) {
    // Nothing to wait on but the lookup thread: a short sleep.
    if (state_ == State::Connecting) tcp::sleepMs(ms);
    return;
  }
  tcp::waitFor(socket_, state_ == State::Connecting, ms);
}

}  // namespace platform
