// Small pieces shared by the transfer window and its workers: file errors as
// the windows show them, and the socket options of the transfer link.
#pragma once

#include <string>

namespace tavi {

class TBlockingSocket;

// A path in the file system's encoding as the windows show it.
std::string PathText(const std::string& Path);
// A path as text in the file system's encoding.
std::string NativePath(const std::string& Text);
// "path: reason" for an errno value.
std::string FileErrorText(const std::string& Path, int Code);

// Why the connection failed: the peer gone, for the reset or broken pipe
// that its close gives us, else the socket's error.
std::string ConnectionErrorText(const TBlockingSocket& Socket);

// Acknowledgements are 4-byte writes, several of them in a row when the
// reads are small; held back for the peer's delayed ACK, each would cost
// tens of milliseconds.
void SendAtOnce(int Fd);
// A peer that holds its acknowledgements back until ours (Nagle) gets them
// sooner when we acknowledge its bytes at once. The kernel drops the mode
// again by itself, so it is asked for before every wait.
void AcknowledgeAtOnce(int Fd);

}  // namespace tavi
