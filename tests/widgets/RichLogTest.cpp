// A log pane gives the same lines and colours whether its appends and trims
// act at once or wait for the end of a burst of received lines, and lays
// them out only where they can be seen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextDocument>
#include <QTextEdit>
#include <ostream>
#include <random>

#include "QtWait.h"
#include "core/Session.h"
#include "widgets/RichLog.h"

using namespace tavi;

namespace {

struct TLine {
  QString Text;
  QColor Color;
  bool operator==(const TLine&) const = default;
};

void PrintTo(const TLine& Line, std::ostream* Out) {
  *Out << Line.Text.toStdString() << "/" << Line.Color.name().toStdString();
}

std::vector<TLine> Contents(const QTextEdit& Edit) {
  std::vector<TLine> lines;
  const QTextDocument* doc = Edit.document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    const QTextBlock::iterator first = block.begin();
    const QColor color = first.atEnd() ? block.charFormat().foreground().color()
                                       : first.fragment().charFormat().foreground().color();
    lines.push_back({block.text(), color});
  }
  return lines;
}

// One step of a script: append a line, trim to a count, or end the burst
// (Value 1: more follow, so the lines may wait for a later end).
struct TStep {
  enum { Append, Trim, Burst } Kind;
  int Value;
};

void Play(TRichLog& Log, const std::vector<TStep>& Steps, bool Bursts) {
  if (Bursts) TRichLog::BeginBurst();
  for (const TStep& step : Steps) {
    switch (step.Kind) {
      case TStep::Append:
        Log.Append(QString::number(step.Value), step.Value % 3 ? Qt::blue : Qt::red);
        break;
      case TStep::Trim:
        Log.KeepLast(step.Value);
        break;
      case TStep::Burst:
        if (Bursts) {
          TRichLog::EndBurst(step.Value != 0);
          TRichLog::BeginBurst();
        }
        break;
    }
  }
  if (Bursts) TRichLog::EndBurst();
}

}  // namespace

TEST(RichLogTest, BurstsGiveTheSamePaneAsSingleLines) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<TStep> steps;
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) {
      const unsigned pick = random() % 10;
      if (pick < 6) steps.push_back({TStep::Append, i});
      else if (pick < 9) steps.push_back({TStep::Trim, static_cast<int>(random() % 8)});
      else steps.push_back({TStep::Burst, static_cast<int>(random() % 2)});
    }
    QTextEdit direct, burst;
    TRichLog directLog(&direct), burstLog(&burst);
    // Some rounds start with lines already in the pane.
    const int before = static_cast<int>(random() % 4);
    for (int i = 0; i < before; ++i) {
      directLog.Append("old", Qt::black);
      burstLog.Append("old", Qt::black);
    }
    Play(directLog, steps, false);
    Play(burstLog, steps, true);
    ASSERT_EQ(Contents(direct), Contents(burst)) << "round " << round;
  }
}

TEST(RichLogTest, WaitsOnlyInsideABurstAndFlushesForReaders) {
  QTextEdit edit;
  TRichLog log(&edit);
  EXPECT_EQ(TRichLog::Of(&edit), &log);
  log.Append("a", Qt::black);
  EXPECT_EQ(edit.document()->blockCount(), 1);

  TRichLog::BeginBurst();
  TRichLog::BeginBurst();  // nested: only the outer end applies
  for (int i = 0; i < 1000; ++i) {
    log.Append(QString::number(i), Qt::blue);
    log.KeepLast(256);
  }
  EXPECT_EQ(Contents(edit).size(), 1u);  // nothing laid out yet
  TRichLog::EndBurst();
  EXPECT_EQ(Contents(edit).size(), 1u);
  TRichLog::EndBurst();
  const std::vector<TLine> lines = Contents(edit);
  ASSERT_EQ(lines.size(), 256u);
  EXPECT_EQ(lines.front().Text, "744");
  EXPECT_EQ(lines.back(), (TLine{"999", QColor(Qt::blue)}));

  // A reader inside a burst sees everything so far.
  TRichLog::BeginBurst();
  log.Append("late", Qt::red);
  log.Flush();
  EXPECT_EQ(Contents(edit).back().Text, "late");
  TRichLog::EndBurst();
}

TEST(RichLogTest, LinesLeftWaitingForMoreAreShownByTheIntervalAnyway) {
  QTextEdit edit;
  TRichLog log(&edit);
  TRichLog::BeginBurst();
  log.Append("shown", Qt::black);
  TRichLog::EndBurst(true);  // nothing shown for a while: shown at once
  EXPECT_EQ(Contents(edit).size(), 1u);

  TRichLog::BeginBurst();
  log.Append("waits", Qt::black);
  TRichLog::EndBurst(true);
  EXPECT_EQ(Contents(edit).size(), 1u);
  // No later burst comes; the interval shows it.
  EXPECT_TRUE(test::PumpUntil([&] { return Contents(edit).size() == 2u; }, 20 * TRichLog::FlushIntervalMs));
}

TEST(RichLogTest, APaneDestroyedInsideABurstIsSkipped) {
  TRichLog::BeginBurst();
  {
    QTextEdit edit;
    TRichLog* log = new TRichLog(&edit);
    log->Append("gone", Qt::black);
  }
  TRichLog::EndBurst();  // must not touch the freed pane
  QTextEdit edit;
  TRichLog log(&edit);
  log.Append("next", Qt::black);
  EXPECT_EQ(Contents(edit).size(), 1u);
}

// A flush that trims the top and adds at the end changes the pane in two
// places: as one change from the top, Qt would lay out every kept line again.
TEST(RichLogTest, TheTrimAndTheNewLinesAreSeparateChanges) {
  QTextEdit edit;
  TRichLog log(&edit);
  for (int i = 0; i < 10; ++i) log.Append(QString::number(i), Qt::black);
  std::vector<std::pair<int, int>> changes;  // where, characters added
  QObject::connect(edit.document(), &QTextDocument::contentsChange,
                   [&](int From, int, int Added) { changes.emplace_back(From, Added); });
  TRichLog::BeginBurst();
  for (int i = 10; i < 15; ++i) {
    log.Append(QString::number(i), Qt::blue);
    log.KeepLast(10);
  }
  TRichLog::EndBurst();
  ASSERT_FALSE(changes.empty());
  for (const auto& [from, added] : changes) EXPECT_TRUE(from > 0 || added == 0) << from << " +" << added;
  EXPECT_EQ(Contents(edit).front().Text, "5");
}

// A pane covered by another window takes its lines without laying them out,
// and lays them out when it comes up again.
TEST(RichLogTest, ACoveredPaneIsLaidOutWhenItComesUp) {
  QMdiArea area;
  area.resize(600, 400);
  auto* edit = new QTextEdit;
  TRichLog* log = new TRichLog(edit);
  QMdiSubWindow* below = area.addSubWindow(edit);
  below->setGeometry(10, 10, 300, 200);
  area.addSubWindow(new QWidget)->setGeometry(0, 0, 400, 300);
  area.show();
  QApplication::processEvents();
  TRichLog::BeginBurst();
  for (int i = 0; i < 50; ++i) log->Append(QString::number(i), Qt::black);
  TRichLog::EndBurst();
  const QTextBlock last = edit->document()->lastBlock();
  EXPECT_EQ(last.text(), "49");
  EXPECT_EQ(last.layout()->lineCount(), 0);
  EXPECT_EQ(edit->verticalScrollBar()->maximum(), 0);

  area.setActiveSubWindow(below);
  QApplication::processEvents();
  EXPECT_EQ(edit->document()->lastBlock().layout()->lineCount(), 1);
  EXPECT_GT(edit->verticalScrollBar()->maximum(), 0);
}
