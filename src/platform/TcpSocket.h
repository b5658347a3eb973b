#pragma once
// The socket calls TcpClient makes, once per system (TcpSocketUnix.cpp, TcpSocketWindows.cpp):
// sockets that never block, their errors as text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SocketAddress.h"

namespace platform::tcp {

using Socket = intptr_t;
constexpr Socket kNoSocket = -1;
// What send and receive give when the call would have had to wait.
constexpr long kWouldBlock = -2;

// The addresses of host:port, any family; empty with the reason when there are none. Safe on
// any thread.
std::vector<SocketAddress> lookUp(const std::string& host, uint16_t port, std::string* error);

// A socket that never blocks, not inherited by child processes, connecting to `address`, with
// no coalescing delay. kNoSocket with the reason when the connection is refused at once;
// *connected says whether it is made already.
Socket connectTo(const SocketAddress& address, bool* connected, std::string* error);
// While connecting: 0 still under way, 1 connected, -1 failed with the reason.
int connectOutcome(Socket socket, std::string* error);
// Bytes sent or received, kWouldBlock, or -1 with the reason (receive: 0 and "" when the
// peer closed).
long sendSome(Socket socket, const void* data, size_t size, std::string* error);
long receiveSome(Socket socket, void* data, size_t size, std::string* error);
// Waits up to `ms` for the socket to take bytes (`writable`) or to have some.
void waitFor(Socket socket, bool writable, int ms);
void closeSocket(Socket socket);

// The other end, for the tests to talk to a client through: a socket listening on
// 127.0.0.1 at a port the system picks (*port), and the next connection to it within `ms`
// (kNoSocket when none came), never blocking.
Socket listenOnLoopback(uint16_t* port, std::string* error);
Socket acceptWithin(Socket listener, int ms);
void sleepMs(int ms);

}  // namespace platform::tcp
