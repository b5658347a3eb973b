#pragma once
// A TCP connection that never blocks: connect() starts connecting and returns, and every
// call after it returns at once with what there is. What the main loop talks to the sync
// editor through; a frame is never held up by the network.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace platform {

class TcpClient {
 public:
  enum class State { Closed, Connecting, Connected };

  TcpClient() = default;
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Starts connecting to host:port (closing what was open). False, with the reason in
  // error(), when the name does not resolve or the connection is refused at once.
  bool connect(const std::string& host, uint16_t port);
  // Moves a connection under way on to Connected, or to Closed with error().
  State poll();
  State state() const { return state_; }

  // Bytes taken for sending (fewer when the system's buffer is full); -1 when the
  // connection broke (it is closed then, with error()).
  long send(const void* data, size_t size);
  // Bytes read; 0 when nothing waits; -1 when the peer closed or the connection broke (it
  // is closed then, with error(): "closed by the peer" for an orderly close).
  long receive(void* data, size_t size);
  void close();
  const std::string& error() const { return error_; }

  // Waits up to `ms` for bytes to read or, while connecting, for the outcome.
  void wait(int ms);

 private:
  struct Address {
    sockaddr_storage storage;
    unsigned length = 0;
    int family = 0;
  };

  void fail(const std::string& why);
  bool tryNextAddress();

  std::vector<Address> addresses_;
  size_t next_ = 0;
  int fd_ = -1;
  State state_ = State::Closed;
  std::string error_;
};

}  // namespace platform
