#pragma once
// A TCP connection that never blocks: connect() starts looking the name up (on a thread of
// its own: a resolver may take seconds) and connecting, and returns; every call after it
// returns at once with what there is. What the main loop talks to the sync editor through:
// a frame is never held up by the network. The same on both systems: only the socket calls
// differ (TcpSocketUnix.cpp, TcpSocketWindows.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

namespace platform {

class TcpClient {
 public:
  enum class State { Closed, Connecting, Connected };

  TcpClient() = default;
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Starts connecting to host:port (closing what was open). The addresses of a name that
  // was found once are kept for the next connect to the same name. False, with the reason
  // in error(), when the connection is refused at once.
  bool connect(const std::string& host, uint16_t port);
  // Moves a connection under way on (the name found, the connection made) to Connected, or
  // to Closed with error().
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

  using Address = SocketAddress;
  struct Lookup;

 private:
  void fail(const std::string& why);
  bool tryNextAddress();

  std::shared_ptr<Lookup> lookup_;  // a name being looked up
  std::string host_;
  uint16_t port_ = 0;
  std::vector<Address> addresses_;  // of host_:port_, once found
  size_t next_ = 0;
  intptr_t socket_ = -1;  // a descriptor or a SOCKET
  State state_ = State::Closed;
  std::string error_;
};

}  // namespace platform
