// Cuts the server's byte stream into CR LF-terminated lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

class TLineFramer {
 public:
  // A partial line longer than this without CR LF is dropped up to its end.
  static constexpr std::size_t MaxLineLength = 64 * 1024;

  // Adds the bytes of one read. Zero bytes are dropped on their own; a lone
  // CR or LF stays inside its line.
  void Append(std::string_view Bytes);
  // Takes the next complete line with its CR LF; false when none is there.
  // Blanks that stand right behind the line taken are dropped with it.
  bool TakeLine(std::string& Line);
  // The same, and HighBytes tells whether the line holds a byte above 0x7F
  // (found in the same scan that finds its end, so ASCII lines cost nothing
  // more).
  bool TakeLine(std::string& Line, bool& HighBytes);

  std::size_t PendingSize() const { return pending_.size() - start_; }
  // Memory held for pending bytes; given back once a large burst is taken.
  std::size_t Capacity() const { return pending_.capacity(); }
  void Clear();

 private:
  // Erases the bytes before start_.
  void DropTaken();

  std::string pending_;
  std::size_t start_ = 0;      // bytes before this were taken already
  std::size_t scanned_ = 0;    // no CR LF starts before this offset
  std::size_t tail_ = 0;       // the partial line after the last CR LF starts here
  bool discarding_ = false;    // skipping an overlong line up to its CR LF
  bool discardSawCr_ = false;
  bool scannedHigh_ = false;   // a byte above 0x7F from start_ to scanned_
};

}  // namespace tavi
