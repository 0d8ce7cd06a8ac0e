#include "dcc/TransferText.h"

#include <QLocale>
#include <algorithm>
#include <cstdio>

#include "kanji/QtText.h"

namespace tavi {

namespace {

// Whole percent of Size, rounded down: 100 only when all is here.
std::string Percent(std::int64_t Done, std::int64_t Size) {
  const auto Whole = static_cast<long long>(static_cast<double>(std::clamp<std::int64_t>(Done, 0, Size)) * 100 /
                                            static_cast<double>(Size));
  return std::to_string(Done < Size ? std::min(Whole, 99LL) : Whole) + "%";
}

// "受信済み 1.2 MB / 3.4 MB（35%）", or with Separator "、" for use
// inside parentheses, "受信済み 1.2 MB / 3.4 MB、35%".
std::string AmountText(std::int64_t Done, std::int64_t Size, bool Inside = false) {
  std::string Text = U8(u8"受信済み ") + SizeText(Done) + " / " + SizeText(Size);
  if (Size > 0) Text += Inside ? U8(u8"、") + Percent(Done, Size) : U8(u8"（") + Percent(Done, Size) + U8(u8"）");
  return Text;
}

std::string TimeLeftText(double Seconds) {
  const auto Whole = static_cast<long long>(Seconds + 0.5);
  char Text[48];
  if (Whole >= 3600) {
    std::snprintf(Text, sizeof Text, "%lld:%02lld:%02lld", Whole / 3600, Whole / 60 % 60, Whole % 60);
  } else {
    std::snprintf(Text, sizeof Text, "%lld:%02lld", Whole / 60, Whole % 60);
  }
  return Text;
}

}  // namespace

std::string SizeText(std::int64_t Bytes) {
  // The number options are set: a locale made like the default one would
  // take the default's.
  static const QLocale Japanese = [] {
    QLocale Locale(QLocale::Japanese, QLocale::Japan);
    Locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return Locale;
  }();
  return StdText(Japanese.formattedDataSize(Bytes, 1, QLocale::DataSizeTraditionalFormat));
}

std::string OfferedFileText(const std::string& Nick, const std::string& FileName, std::int64_t Size) {
  return Nick + U8(u8" から ") + FileName + U8(u8"（") + SizeText(Size) + U8(u8"）というファイルが送られてきています");
}

std::string PartHeldText(const std::string& PartPath, std::int64_t PartSize, std::int64_t Size) {
  const std::string Share = PartSize < Size ? U8(u8"（") + Percent(PartSize, Size) + U8(u8"）") : " ";
  return PartPath + U8(u8" に ") + SizeText(PartSize) + Share + U8(u8"まで受信してあります。");
}

std::string PartKeptText(const std::string& PartPath, std::int64_t PartSize) {
  return PartPath + U8(u8" に受信した分（") + SizeText(PartSize) + U8(u8"）を残しました。");
}

std::string HungUpText() { return U8(u8"相手が途中で接続を切りました。"); }

std::string SilenceText(int Ms) {
  return U8(u8"相手から ") + std::to_string((Ms + 999) / 1000) + U8(u8" 秒間何も届きませんでした。");
}

TTransferTexts TransferTexts(const TTransferState& State) {
  const bool Sending = State.Direction == TTransferDirection::Send;
  TTransferTexts Texts;
  Texts.Subject = State.FileName;
  Texts.Peer = State.Peer + (Sending ? U8(u8" へ送信") : U8(u8" から受信"));
  Texts.Status = State.Caption;
  if (!State.Reason.empty()) Texts.Status += "\n" + State.Reason;
  // Either way, what has reached the receiver.
  Texts.Amount = AmountText(State.Done, State.Size);
  if (State.BytesPerSecond > 0) {
    const double Left = static_cast<double>(std::max<std::int64_t>(0, State.Size - State.Done)) / State.BytesPerSecond;
    Texts.Rate = SizeText(static_cast<std::int64_t>(State.BytesPerSecond)) + U8(u8"/秒　残り ") + TimeLeftText(Left);
  }
  return Texts;
}

std::string TransferEndText(const TTransferState& State, TTransferEnd End, const std::string& Where) {
  const bool Sending = State.Direction == TTransferDirection::Send;
  const std::string Whole = State.FileName + U8(u8"（") + SizeText(State.Size) + U8(u8"）");
  if (End == TTransferEnd::Done)
    return Sending ? State.Peer + U8(u8" へ ") + Whole + U8(u8"を送信しました。")
                   : State.Peer + U8(u8" から受信した ") + Whole + U8(u8"を ") + Where + U8(u8" に保存しました。");
  std::string Text = State.Peer + (Sending ? U8(u8" への ") : U8(u8" からの ")) + State.FileName +
                     (Sending ? U8(u8" の送信") : U8(u8" の受信")) +
                     (End == TTransferEnd::Failed ? U8(u8"に失敗しました") : U8(u8"を中止しました")) + U8(u8"（") +
                     AmountText(State.Done, State.Size, true) + U8(u8"）。");
  if (End == TTransferEnd::Failed && !State.Reason.empty()) Text += State.Reason;
  if (!Where.empty()) Text += " " + Where;
  return Text;
}

}  // namespace tavi
