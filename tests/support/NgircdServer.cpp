#include "NgircdServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TlsIdentity.h"

namespace tavi::test {

namespace {

bool CanConnect(std::uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(Port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  std::uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

TNgircdServer::~TNgircdServer() { Stop(); }

bool TNgircdServer::Start(const TOptions& Options, std::string& Error) {
  Stop();
  char pattern[] = "/tmp/tavi-ngircd-XXXXXX";
  if (!::mkdtemp(pattern)) {
    Error = "cannot make a temporary folder";
    return false;
  }
  dir_ = pattern;
  port_ = FreeLoopbackPort();
  if (port_ == 0) {
    Error = "no free port";
    return false;
  }

  tlsPort_ = 0;
  tlsFingerprint_.clear();
  if (Options.Tls) {
    const TTlsIdentity identity = MakeSelfSignedIdentity(Host());
    if (!WriteIdentityFiles(identity, dir_) || (tlsPort_ = FreeLoopbackPort()) == 0) {
      Error = "cannot make the TLS certificate";
      return false;
    }
    tlsFingerprint_ = identity.Fingerprint;
  }

  const std::string conf = dir_ + "/ngircd.conf";
  {
    std::ofstream out(conf);
    out << "[Global]\n"
        << "Name = " << ServerName() << "\n"
        << "Info = Tavi test server\n"
        << "AdminInfo1 = Tavi test\nAdminInfo2 = Loopback\nAdminEMail = admin@tavi.test\n"
        << "Listen = 127.0.0.1\n"
        << "Ports = " << port_ << "\n"
        // No text at all: a file that does not exist, so the server says 422.
        << (Options.Motd.empty() ? "MotdFile = " + dir_ + "/none.motd" : "MotdPhrase = " + Options.Motd) << "\n"
        << "[Limits]\n"
        << "PingTimeout = " << Options.PingTimeout << "\n"
        << "PongTimeout = " << Options.PongTimeout << "\n"
        << "MaxConnectionsIP = 0\nMaxNickLength = 30\n"
        << "[Options]\nDNS = no\nIdent = no\nPAM = no\n"
        << "[SSL]\n";
    if (Options.Tls)
      out << "CertFile = " << dir_ << "/cert.pem\nKeyFile = " << dir_ << "/key.pem\nPorts = " << tlsPort_ << "\n";
  }
  ::chmod((dir_ + "/key.pem").c_str(), 0644);
  ::chmod(dir_.c_str(), 0755);
  ::chmod(conf.c_str(), 0644);

  const std::string limit = std::to_string(Options.TimeLimitSeconds);
  const pid_t pid = ::fork();
  if (pid < 0) {
    Error = "fork failed";
    return false;
  }
  if (pid == 0) {
    // timeout(1) keeps the parent-death signal (ngircd drops it when it
    // changes user) and passes it on, so the server never outlives the test.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::setpgid(0, 0);
    const std::string log = dir_ + "/ngircd.log";
    if (FILE* f = std::freopen(log.c_str(), "w", stdout)) (void)f;
    ::dup2(STDOUT_FILENO, STDERR_FILENO);
    ::execlp("timeout", "timeout", "-s", "TERM", limit.c_str(), "ngircd", "-n", "-f", conf.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = pid;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (CanConnect(port_) && (tlsPort_ == 0 || CanConnect(tlsPort_))) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      Error = "ngircd exited at start (is it installed?)";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Error = "ngircd did not start listening";
  Stop();
  return false;
}

void TNgircdServer::Stop() {
  if (pid_ > 0) {
    ::kill(-pid_, SIGTERM);
    ::kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
}

}  // namespace tavi::test
