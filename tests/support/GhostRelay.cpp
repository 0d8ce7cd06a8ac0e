#include "GhostRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavi::test {

namespace {

int ConnectLoopback(std::uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(Port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

}  // namespace

TGhostRelay::TGhostRelay(std::uint16_t ServerPort) : serverPort_(ServerPort) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(listener_, 4) == 0 &&
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

TGhostRelay::~TGhostRelay() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

bool TGhostRelay::Pass(int From, int To) {
  char buffer[16384];
  const ssize_t n = ::recv(From, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  return ::send(To, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
}

void TGhostRelay::Run() {
  int client = -1, server = -1;
  std::vector<int> ghosts;
  const auto closePair = [&] {
    if (client >= 0) ::close(client);
    if (server >= 0) ::close(server);
    client = server = -1;
  };
  while (!stop_) {
    if (cut_.exchange(false) && client >= 0) {
      ::shutdown(client, SHUT_RDWR);
      ::close(client);
      ghosts.push_back(server);  // never read again: it answers no PING
      client = server = -1;
    }
    pollfd fds[3] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
    if (::poll(fds, 3, 50) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (accepted >= 0) {
        closePair();
        client = accepted;
        server = ConnectLoopback(serverPort_);
        if (server < 0) closePair();
      }
      continue;
    }
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !Pass(client, server)) closePair();
    else if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) && !Pass(server, client)) closePair();
  }
  closePair();
  for (int fd : ghosts) ::close(fd);
}

}  // namespace tavi::test
