// Menus and message boxes, windows of their own, use the dialogs' font.
#include <gtest/gtest.h>

#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>

#include "widgets/FormFont.h"

using namespace tavi;

TEST(FormFontTest, MenusAndMessageBoxesGetTheJapaneseFont) {
  UseFormFontForMenusAndBoxes();
  QMainWindow owner;
  QMenu menu(&owner);
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok, &owner);
  for (QWidget* w : std::initializer_list<QWidget*>{&menu, &box}) {
    w->ensurePolished();  // as showing does
    EXPECT_TRUE(w->font().families().contains(QStringLiteral("IPAPGothic"))) << w->metaObject()->className();
    EXPECT_EQ(w->font().families(), FormFont().families());
  }
}
