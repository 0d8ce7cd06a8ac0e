// A server program that an end-to-end test runs: in a temporary folder of its
// own, in a process group of its own, under timeout(1) so that it never
// outlives the test, stopped (and its folder removed) at destruction.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tavi::test {

class TServerProcess {
 public:
  TServerProcess() = default;
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  // Makes a new empty folder /tmp/<Prefix>-XXXXXX for the configuration;
  // false when it cannot.
  bool MakeFolder(const std::string& Prefix);
  const std::string& Folder() const { return folder_; }

  struct TLaunch {
    std::vector<std::string> Arguments;  // the program first
    int TimeLimitSeconds = 300;
    // As root, hand the folder to "nobody" and run as that user: some
    // servers refuse root or stall for seconds with a warning.
    bool Unprivileged = false;
  };
  // Runs the program in the folder, its output going to Folder()/output.log.
  bool Start(const TLaunch& Launch, std::string& Error);

  // Polls Ready until it holds: false, with Error saying why, when the
  // program exits first or TimeoutMs passes.
  bool WaitUntil(const std::function<bool()>& Ready, int TimeoutMs, std::string& Error);
  // False once the program has exited.
  bool Running();
  // The last lines the program wrote, for error messages.
  std::string OutputTail() const;

  // Stops the program, then removes the folder.
  void Stop();

 private:
  std::string name_;
  std::string folder_;
  pid_t pid_ = -1;
};

// A free TCP port on 127.0.0.1 (bound once, then released).
std::uint16_t FreeLoopbackPort();
// Something listens on Port of 127.0.0.1.
bool CanConnectLoopback(std::uint16_t Port);

}  // namespace tavi::test
