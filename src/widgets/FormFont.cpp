#include "widgets/FormFont.h"

#include <QApplication>

namespace tavi {

void UseFormFontForMenusAndBoxes() {
  for (const char* name : {"QMenu", "QMenuBar", "QMessageBox"}) QApplication::setFont(FormFont(), name);
}

}  // namespace tavi
