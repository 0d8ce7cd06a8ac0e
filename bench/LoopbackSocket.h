// The benches' few loopback socket calls: a listener on a free port, a
// connect, and a send of every byte.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace bench {

inline sockaddr_in LoopbackAddress(std::uint16_t Port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(Port);
  return a;
}

// A socket listening on a free port of 127.0.0.1, which goes to Port; -1 on
// failure.
inline int ListenLoopback(std::uint16_t& Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = LoopbackAddress(0);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  Port = ntohs(a.sin_port);
  return fd;
}

// A socket connected to 127.0.0.1:Port, or -1.
inline int ConnectLoopback(std::uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = LoopbackAddress(Port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// False once the peer has gone.
inline bool SendAll(int Fd, const char* Bytes, std::size_t Size) {
  while (Size > 0) {
    const ssize_t n = ::send(Fd, Bytes, Size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    Bytes += n;
    Size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace bench
