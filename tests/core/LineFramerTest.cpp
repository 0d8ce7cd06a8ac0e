#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/LineFramer.h"

namespace tavi {
namespace {

using namespace std::string_literals;

// Feeds each chunk as one read and frames after it, as the receive thread does.
std::vector<std::string> Frame(TLineFramer& F, const std::vector<std::string>& Chunks) {
  std::vector<std::string> Lines;
  std::string Line;
  for (const std::string& C : Chunks) {
    F.Append(C);
    while (F.TakeLine(Line)) Lines.push_back(Line);
  }
  return Lines;
}

std::vector<std::string> Frame(const std::vector<std::string>& Chunks) {
  TLineFramer F;
  return Frame(F, Chunks);
}

using Lines = std::vector<std::string>;

// ---- cutting and blanks ----

TEST(LineFramerCutting, BlanksRightBehindACutGoOnlyWhenTheyArrivedWithIt) {
  EXPECT_EQ(Frame({"abc\r\n   def\r\n"}), (Lines{"abc\r\n", "def\r\n"}));
  EXPECT_EQ(Frame({"abc\r\n", "   def\r\n"}), (Lines{"abc\r\n", "   def\r\n"}));
  // What remains may be nothing but blanks; those that come later stay.
  EXPECT_EQ(Frame({"abc\r\n  ", "  def\r\n"}), (Lines{"abc\r\n", "  def\r\n"}));
  // Blanks at the very start of the stream stay.
  EXPECT_EQ(Frame({"  abc\r\n"}), (Lines{"  abc\r\n"}));
  // Blanks inside and at the end of a line stay.
  EXPECT_EQ(Frame({"NAMES \r\n a b \r\n"}), (Lines{"NAMES \r\n", "a b \r\n"}));
}

TEST(LineFramerCutting, ALineWaitsForItsCrLfAcrossReads) {
  TLineFramer F;
  EXPECT_EQ(Frame(F, {"PI"}), Lines{});
  EXPECT_EQ(F.PendingSize(), 2u);
  EXPECT_EQ(Frame(F, {"NG :x\r\n"}), (Lines{"PING :x\r\n"}));
  EXPECT_EQ(F.PendingSize(), 0u);
  EXPECT_EQ(Frame({"P", "I", "N", "G", "\r", "\n"}), (Lines{"PING\r\n"}));
}

TEST(LineFramerCutting, OnlyCrLfEndsALine) {
  EXPECT_EQ(Frame({"abc\ndef\r\n"}), (Lines{"abc\ndef\r\n"}));
  EXPECT_EQ(Frame({"a\rb\r\n"}), (Lines{"a\rb\r\n"}));
  EXPECT_EQ(Frame({"a\r\r\n"}), (Lines{"a\r\r\n"}));
  EXPECT_EQ(Frame({"a\n\r\n"}), (Lines{"a\n\r\n"}));
  EXPECT_EQ(Frame({"a\n\rb\r\n"}), (Lines{"a\n\rb\r\n"}));
  EXPECT_EQ(Frame({"abc\r", "\ndef\r\n"}), (Lines{"abc\r\n", "def\r\n"}));
  TLineFramer F;
  EXPECT_EQ(Frame(F, {"abc\n", "def\r"}), Lines{});
  EXPECT_EQ(F.PendingSize(), 8u);
}

TEST(LineFramerCutting, ABareCrLfIsALine) {
  EXPECT_EQ(Frame({"\r\n"}), (Lines{"\r\n"}));
  EXPECT_EQ(Frame({"x\r\n\r\ny\r\n"}), (Lines{"x\r\n", "\r\n", "y\r\n"}));
  EXPECT_EQ(Frame({"x\r\n \r\n"}), (Lines{"x\r\n", "\r\n"}));
}

TEST(LineFramerCutting, ZeroBytesAreDroppedAlone) {
  EXPECT_EQ(Frame({"ab\0cd\r\n"s}), (Lines{"abcd\r\n"}));
  EXPECT_EQ(Frame({"\0\0ab\r\0\n\0"s, "c\r\n"}), (Lines{"ab\r\n", "c\r\n"}));
  EXPECT_EQ(Frame({"ab\r"s, "\0"s, "\n"s}), (Lines{"ab\r\n"}));
  TLineFramer F;
  F.Append("\0\0\0"s);
  EXPECT_EQ(F.PendingSize(), 0u);
}

TEST(LineFramerCutting, ShiftJisBytesThatLookLikeControlsPassThrough) {
  // Trail bytes 0x40-0xFC never equal CR or LF, but lead bytes sit next to them.
  const std::string Text = "PRIVMSG #a :\x82\xa0\x82\xa2\x95\x5c\r\n";
  EXPECT_EQ(Frame({Text.substr(0, 13), Text.substr(13)}), (Lines{Text}));
}

TEST(LineFramerCutting, ABurstComesOutWholeAndInOrder) {
  std::string Burst;
  for (int I = 0; I < 20000; ++I) Burst += ":srv 372 me :- line " + std::to_string(I) + "\r\n";
  TLineFramer F;
  F.Append(Burst);
  std::string Line;
  for (int I = 0; I < 20000; ++I) {
    ASSERT_TRUE(F.TakeLine(Line));
    ASSERT_EQ(Line, ":srv 372 me :- line " + std::to_string(I) + "\r\n");
  }
  EXPECT_FALSE(F.TakeLine(Line));
  EXPECT_EQ(F.PendingSize(), 0u);
}

// ---- overlong lines ----

TEST(LineFramerOverlong, AnOverlongLineIsDroppedAndTheNextOnesGoOn) {
  std::vector<std::string> Chunks{"first\r\n"};
  const std::string Long(200 * 1024, 'a');
  for (std::size_t I = 0; I < Long.size(); I += 127) Chunks.push_back(Long.substr(I, 127));
  Chunks.push_back("\r\nPING :ok\r\n");
  TLineFramer F;
  EXPECT_EQ(Frame(F, Chunks), (Lines{"first\r\n", "PING :ok\r\n"}));
  // Nothing of it was kept meanwhile.
  F.Append(Long);
  EXPECT_LE(F.PendingSize(), TLineFramer::MaxLineLength + 1);
}

TEST(LineFramerOverlong, TheLimitIsTheLengthBeforeCrLf) {
  const std::string AtLimit(TLineFramer::MaxLineLength, 'b');
  EXPECT_EQ(Frame({AtLimit, "\r", "\n"}), (Lines{AtLimit + "\r\n"}));
  EXPECT_EQ(Frame({AtLimit + "\r\n"}), (Lines{AtLimit + "\r\n"}));
  EXPECT_EQ(Frame({AtLimit + "b", "\r\nnext\r\n"}), (Lines{"next\r\n"}));
}

TEST(LineFramerOverlong, DiscardingEndsAtACrLfSplitOverReads) {
  const std::string Long(TLineFramer::MaxLineLength + 10, 'c');
  EXPECT_EQ(Frame({Long, "\r", "\nnext\r\n"}), (Lines{"next\r\n"}));
  EXPECT_EQ(Frame({Long + "\r", "\nnext\r\n"}), (Lines{"next\r\n"}));
  EXPECT_EQ(Frame({Long + "\r", "\0\n"s, "next\r\n"}), (Lines{"next\r\n"}));
  // A CR that is not followed by LF, and a lone LF, do not end it.
  EXPECT_EQ(Frame({Long + "\r", "x\nstill\r", "r\r\nnext\r\n"}), (Lines{"next\r\n"}));
  // Blanks right behind the dropped line go with it, later ones stay.
  EXPECT_EQ(Frame({Long, "\r\n  next\r\n"}), (Lines{"next\r\n"}));
  EXPECT_EQ(Frame({Long, "\r\n", "  next\r\n"}), (Lines{"  next\r\n"}));
}

TEST(LineFramerOverlong, CompleteLinesInTheSameReadAsALongTailSurvive) {
  const std::string Long(TLineFramer::MaxLineLength + 1, 'd');
  TLineFramer F;
  F.Append("one\r\ntwo\r\n" + Long);  // framed only after the long tail came in
  std::string Line;
  ASSERT_TRUE(F.TakeLine(Line));
  EXPECT_EQ(Line, "one\r\n");
  ASSERT_TRUE(F.TakeLine(Line));
  EXPECT_EQ(Line, "two\r\n");
  EXPECT_FALSE(F.TakeLine(Line));
  EXPECT_EQ(Frame(F, {"\r\nthree\r\n"}), (Lines{"three\r\n"}));
}

TEST(LineFramerOverlong, ClearForgetsADiscardInProgress) {
  TLineFramer F;
  F.Append(std::string(TLineFramer::MaxLineLength + 5, 'e'));
  F.Clear();
  EXPECT_EQ(Frame(F, {"fresh\r\n"}), (Lines{"fresh\r\n"}));
}

// ---- against a plain model ----

// The rules written as plainly as possible, without regard to speed.
class TModelFramer {
 public:
  void Append(const std::string& Bytes) {
    for (char C : Bytes) {
      if (C == '\0') continue;
      if (Discarding) {
        if (C == '\n' && SawCr) {
          Discarding = false;
          StripNext = true;
        }
        SawCr = C == '\r';
        continue;
      }
      if (StripNext && C == ' ') continue;
      StripNext = false;
      Pending += C;
    }
    StripNext = false;
    const std::size_t Last = Pending.rfind("\r\n");
    const std::size_t Tail = Last == std::string::npos ? 0 : Last + 2;
    std::size_t Partial = Pending.size() - Tail;
    if (Partial > 0 && Pending.back() == '\r') --Partial;
    if (Partial > TLineFramer::MaxLineLength) {
      SawCr = Pending.back() == '\r';
      Pending.resize(Tail);
      Discarding = true;
    }
  }
  bool TakeLine(std::string& Line) {
    const std::size_t End = Pending.find("\r\n");
    if (End == std::string::npos) return false;
    Line = Pending.substr(0, End + 2);
    Pending.erase(0, End + 2);
    while (!Pending.empty() && Pending[0] == ' ') Pending.erase(0, 1);
    return true;
  }

  std::string Pending;
  bool Discarding = false, SawCr = false, StripNext = false;
};

TEST(LineFramerModel, RandomStreamsFrameAsThePlainRulesSay) {
  std::mt19937 Random(20240611);
  const char Alphabet[] = {'a', 'b', ' ', ' ', '\r', '\n', '\0', '\x82', 'X'};
  for (int Round = 0; Round < 40; ++Round) {
    TLineFramer F;
    TModelFramer M;
    std::string Got, Want;
    for (int Read = 0; Read < 400; ++Read) {
      std::string Chunk;
      const int Kind = static_cast<int>(Random() % 20);
      if (Kind == 0) {
        Chunk.assign(TLineFramer::MaxLineLength / 2 + Random() % 2000, 'L');  // long lines come in pieces
      } else if (Kind == 2) {
        Chunk.assign(TLineFramer::MaxLineLength - 2 + Random() % 5, 'M');  // right at the limit
        if (Random() % 2) Chunk += '\r';
      } else {
        const std::size_t Size = 1 + Random() % 127;
        for (std::size_t I = 0; I < Size; ++I) {
          char C = Alphabet[Random() % sizeof Alphabet];
          if (C == '\x82' && Random() % 30) C = 'a';  // so that ASCII lines are many too
          Chunk += C;
        }
        if (Kind == 1) Chunk += "\r\n";
      }
      F.Append(Chunk);
      M.Append(Chunk);
      std::string Line;
      bool High = false;
      while (F.TakeLine(Line, High)) {
        Got += "[" + Line + "]";
        const bool HasHigh = std::any_of(Line.begin(), Line.end(), [](char C) { return C & 0x80; });
        ASSERT_EQ(High, HasHigh) << "round " << Round << " read " << Read;
      }
      while (M.TakeLine(Line)) Want += "[" + Line + "]";
      ASSERT_EQ(Got, Want) << "round " << Round << " read " << Read;
      ASSERT_EQ(F.PendingSize(), M.Pending.size());
    }
  }
}

}  // namespace
}  // namespace tavi

namespace tavi {
namespace {

// A burst of a megabyte taken line by line leaves no megabyte behind.
TEST(LineFramerMemory, ALargeBurstGivesItsMemoryBackOnceTaken) {
  TLineFramer Framer;
  std::string Burst;
  while (Burst.size() < (1u << 20)) Burst += "PRIVMSG #c :" + std::string(100, 'x') + "\r\n";
  for (const bool Partial : {false, true}) {
    Framer.Append(Burst + (Partial ? "PRIVMSG #c :cut" : ""));
    std::string Line;
    while (Framer.TakeLine(Line)) {
    }
    EXPECT_LT(Framer.Capacity(), std::size_t{64 * 1024}) << Partial;
    EXPECT_EQ(Framer.PendingSize(), Partial ? 15u : 0u);
  }
  Framer.Append("\r\n");
  std::string Line;
  ASSERT_TRUE(Framer.TakeLine(Line));
  EXPECT_EQ(Line, "PRIVMSG #c :cut\r\n");
}

}  // namespace
}  // namespace tavi
