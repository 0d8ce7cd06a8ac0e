// The Qt platform with its real message boxes, for the tests and the fuzz
// target that must reach what a box's own event loop can do: a timer closes
// every modal box (as No, or the cautious choice) soon after it opens, and
// the boxes opened and the most open at once are counted. The rest (clock,
// files, addresses) is fixed as on the fake platform, and no file dialog
// ever opens.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/QtPlatform.h"

namespace tavi::test {

class TRealBoxPlatform : public QObject, public TQtPlatform {
 public:
  // CloseAfterMs: how often the timer closes the innermost modal box.
  explicit TRealBoxPlatform(int CloseAfterMs = 0);
  ~TRealBoxPlatform() override;

  std::string OpenFileName(QWidget*, const std::string&) override { return {}; }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&) override { return {}; }
  std::string SaveFolder() override { return {}; }
  TDateTime Now() override { return TDateTime{2006, 1, 2, 9, 5, 7, 0, 1}; }
  std::uint32_t TickCount() override { return 1000; }
  void ShowHelp(const std::string&, int) override {}
  std::vector<std::string> LocalIPv4Addresses() override { return {"192.168.1.10"}; }
  std::string ProgramFilePath() override { return ProgramPath; }

  std::string ProgramPath = "/nonexistent/Tavi";
  // Each window shown takes the activation, as a desktop gives it: result
  // windows then lose it to the next box, as they do for a user.
  bool ActivateOnShow = false;
  // Modal windows shown, and the most shown at one time.
  int ModalShown = 0;
  int MostModalAtOnce = 0;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  QTimer closer_;
};

}  // namespace tavi::test
