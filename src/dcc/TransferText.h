// What a file transfer says to the user: sizes as people read them, the
// questions about an offer, the transfer window's lines and the server log's
// line at a transfer's end. No windows.
#pragma once

#include <cstdint>
#include <string>

namespace tavi {

// "512 バイト", "1.5 KB", "158.6 MB", "2.3 GB" (units of 1024, as the
// desktop's file managers count).
std::string SizeText(std::int64_t Bytes);

// Who offers what, and how large: the start of the receive question.
std::string OfferedFileText(const std::string& Nick, const std::string& FileName, std::int64_t Size);
// A part received before (PartPath as text): how much of Size is here.
std::string PartHeldText(const std::string& PartPath, std::int64_t PartSize, std::int64_t Size);
// What stays of a receive that ended early.
std::string PartKeptText(const std::string& PartPath, std::int64_t PartSize);

// Why a transfer ended: after Ms of silence from the peer; the peer gone
// (a close, or the reset or broken pipe a close gives the other side).
std::string SilenceText(int Ms);
std::string HungUpText();

enum class TTransferDirection { Send, Receive };

// Where a transfer stands.
struct TTransferState {
  TTransferDirection Direction = TTransferDirection::Receive;
  std::string FileName;  // without its folder, as text
  std::string Peer;
  std::string Caption;  // what is happening, or how it ended
  std::string Reason;   // why it failed; empty otherwise
  // Receiving, the bytes here; sending, the bytes the peer has acknowledged:
  // what is written to our socket may still be on its way, or lost.
  std::int64_t Done = 0;
  std::int64_t Size = 0;
  double BytesPerSecond = 0;  // 0 while nothing moves
};

// The transfer window's lines.
struct TTransferTexts {
  std::string Subject;  // the file
  std::string Peer;     // with whom, which way
  std::string Status;   // the caption, and the reason on a line of its own
  std::string Amount;   // how much has arrived of the whole
  std::string Rate;     // speed and time left; empty while nothing moves
};
TTransferTexts TransferTexts(const TTransferState& State);

enum class TTransferEnd { Done, Failed, Cancelled };
// The server log's line at a transfer's end, without its time stamp. Where
// is the saved path of a received file, or the kept-part text of one that
// ended early; empty for a send.
std::string TransferEndText(const TTransferState& State, TTransferEnd End, const std::string& Where);

}  // namespace tavi
