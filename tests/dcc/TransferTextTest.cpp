// What the transfer window and the server log say of a transfer, state by
// state.
#include <gtest/gtest.h>

#include "dcc/TransferText.h"
#include "kanji/QtText.h"

using namespace tavi;

TEST(TransferTextTest, TheWindowAndTheLogSayWhatWithWhomHowFarAndHowItEnded) {
  using D = TTransferDirection;
  using E = TTransferEnd;
  struct TCase {
    TTransferState State;
    TTransferTexts Texts;  // Subject, Peer, Status, Amount, Rate
    E End;
    std::string Where, Logged;
  };
  const std::string failed = U8(u8"ファイルの転送に失敗しました。");
  const std::string hungUp = U8(u8"相手が途中で接続を切りました。");
  const TCase cases[] = {
      // Receiving at 512 KB/s: 1.5 of 3 MB here, 3 seconds left.
      {{D::Receive, "report.txt", "bob", U8(u8"受信中"), "", 1572864, 3145728, 524288},
       {"report.txt", U8(u8"bob から受信"), U8(u8"受信中"), U8(u8"受信済み 1.5 MB / 3.0 MB（50%）"),
        U8(u8"512.0 KB/秒　残り 0:03")},
       E::Cancelled, U8(u8"/d/report.txt.part に受信した分（1.5 MB）を残しました。"),
       U8(u8"bob からの report.txt の受信を中止しました（受信済み 1.5 MB / 3.0 MB、50%）。"
          u8" /d/report.txt.part に受信した分（1.5 MB）を残しました。")},
      // Sending: what the peer has acknowledged, not what went to the socket.
      {{D::Send, "big.iso", "alice", U8(u8"送信中"), "", 132000000, 2469606195, 2000000},
       {"big.iso", U8(u8"alice へ送信"), U8(u8"送信中"), U8(u8"受信済み 125.9 MB / 2.3 GB（5%）"),
        U8(u8"1.9 MB/秒　残り 19:29")},
       E::Failed, "", U8(u8"alice への big.iso の送信に失敗しました（受信済み 125.9 MB / 2.3 GB、5%）。")},
      // Hours left.
      {{D::Send, "a", "alice", U8(u8"送信中"), "", 0, 7260000000, 1000000},
       {"a", U8(u8"alice へ送信"), U8(u8"送信中"), U8(u8"受信済み 0 バイト / 6.8 GB（0%）"),
        U8(u8"976.6 KB/秒　残り 2:01:00")},
       E::Done, "", U8(u8"alice へ a（6.8 GB）を送信しました。")},
      // A failed send says why, in the window and in the log; all but a
      // byte is not 100%.
      {{D::Send, "big.iso", "alice", failed, hungUp, 2047, 2048, 0},
       {"big.iso", U8(u8"alice へ送信"), failed + "\n" + hungUp, U8(u8"受信済み 2.0 KB / 2.0 KB（99%）"), ""},
       E::Failed, "",
       U8(u8"alice への big.iso の送信に失敗しました（受信済み 2.0 KB / 2.0 KB、99%）。") + hungUp},
      // A received file: where it was saved.
      {{D::Receive, "empty", "bob", U8(u8"受信中"), "", 0, 0, 0},
       {"empty", U8(u8"bob から受信"), U8(u8"受信中"), U8(u8"受信済み 0 バイト / 0 バイト"), ""},
       E::Done, "/d/empty", U8(u8"bob から受信した empty（0 バイト）を /d/empty に保存しました。")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Logged);
    const TTransferTexts texts = TransferTexts(c.State);
    EXPECT_EQ(texts.Subject, c.Texts.Subject);
    EXPECT_EQ(texts.Peer, c.Texts.Peer);
    EXPECT_EQ(texts.Status, c.Texts.Status);
    EXPECT_EQ(texts.Amount, c.Texts.Amount);
    EXPECT_EQ(texts.Rate, c.Texts.Rate);
    EXPECT_EQ(TransferEndText(c.State, c.End, c.Where), c.Logged);
  }
}
