#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tavi::test {

namespace {

sockaddr_in LoopbackAddress(std::uint16_t Port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(Port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

void HandOver(const std::string& Folder, uid_t User, gid_t Group) {
  std::error_code ec;
  (void)::chown(Folder.c_str(), User, Group);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder, ec))
    (void)::chown(entry.path().c_str(), User, Group);
}

}  // namespace

std::uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

bool CanConnectLoopback(std::uint16_t Port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = LoopbackAddress(Port);
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

TServerProcess::~TServerProcess() { Stop(); }

bool TServerProcess::MakeFolder(const std::string& Prefix) {
  Stop();
  std::string pattern = "/tmp/" + Prefix + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) return false;
  folder_ = pattern;
  return true;
}

bool TServerProcess::Start(const TLaunch& Launch, std::string& Error) {
  if (folder_.empty() || Launch.Arguments.empty()) {
    Error = "no folder or no program";
    return false;
  }
  name_ = Launch.Arguments.front();

  // Everything the child needs is made before fork: a test program has
  // threads, so the child may only call what is safe after fork.
  std::vector<std::string> words = {"timeout", "-s", "TERM", std::to_string(Launch.TimeLimitSeconds)};
  words.insert(words.end(), Launch.Arguments.begin(), Launch.Arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const int output = ::open((folder_ + "/output.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (output < 0 || input < 0) {
    Error = "cannot open the output file";
    if (output >= 0) ::close(output);
    if (input >= 0) ::close(input);
    return false;
  }

  const passwd* nobody = Launch.Unprivileged && ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  const uid_t user = nobody ? nobody->pw_uid : 0;
  const gid_t group = nobody ? nobody->pw_gid : 0;
  if (nobody) HandOver(folder_, user, group);

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (nobody && (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0)) ::_exit(126);
    // Set after the change of user, which clears it; timeout(1) keeps it
    // and passes the signal on to the server.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(0);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::setpgid(0, 0);
    if (::chdir(folder_.c_str()) != 0) ::_exit(126);
    ::dup2(input, STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::close_range(3, ~0U, 0);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output);
  ::close(input);
  if (pid < 0) {
    Error = "fork failed";
    return false;
  }
  pid_ = pid;
  return true;
}

bool TServerProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = -1;
  return false;
}

bool TServerProcess::WaitUntil(const std::function<bool()>& Ready, int TimeoutMs, std::string& Error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    if (Ready()) return true;
    if (!Running()) {
      Error = name_ + " exited at start (is it installed?): " + OutputTail();
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Error = name_ + " did not come up in time: " + OutputTail();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string TServerProcess::OutputTail() const {
  std::ifstream in(folder_ + "/output.log");
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 1500 ? all.substr(all.size() - 1500) : all;
}

void TServerProcess::Stop() {
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
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    folder_.clear();
  }
}

}  // namespace tavi::test
