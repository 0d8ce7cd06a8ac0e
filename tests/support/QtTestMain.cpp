// Test main with a QApplication, so that widgets, message boxes and queued
// calls to the GUI thread work under GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "platform/QtPlatform.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // What the program keeps in the user's folders stays in the test's own.
  QTemporaryDir Home;
  ::setenv("XDG_CONFIG_HOME", Home.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 1);
  ::setenv("XDG_DATA_HOME", Home.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
  QApplication App(argc, argv);
  tavi::InstallQtPlatform();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
