#pragma once
// A socket address as the system gives it (a sockaddr_storage's worth of bytes), with no
// system header in sight.

namespace platform {

struct SocketAddress {
  alignas(8) unsigned char storage[128];
  unsigned length = 0;
  int family = 0;
};

}  // namespace platform
