#include "widgets/ProgramIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tavi {

namespace {

// A balloon: a rounded box with a tail down to Tail.
QPainterPath Balloon(const QRectF& Box, const QPolygonF& Tail) {
  QPainterPath path;
  path.addRoundedRect(Box, 6, 6);
  QPainterPath tail;
  tail.addPolygon(Tail);
  return path.united(tail);
}

QPixmap Draw(int Size) {
  QPixmap pixmap(Size, Size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(Size / 64.0, Size / 64.0);
  p.setPen(Qt::NoPen);
  QLinearGradient sky(0, 0, 0, 64);
  sky.setColorAt(0, QColor(0x3b, 0x5f, 0xc0));
  sky.setColorAt(1, QColor(0x1d, 0x2f, 0x73));
  p.setBrush(sky);
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  p.setBrush(QColor(0x9f, 0xc3, 0xff));
  p.drawPath(Balloon({24, 14, 32, 24}, QPolygonF({{40, 37}, {49, 37}, {49, 45}})));
  p.setBrush(Qt::white);
  p.drawPath(Balloon({8, 24, 34, 25}, QPolygonF({{16, 48}, {24, 48}, {14, 57}})));
  p.setBrush(QColor(0xd7, 0x26, 0x3d));
  p.drawEllipse(QPointF(18, 37), 2.6, 2.6);
  p.setBrush(QColor(0x1d, 0x2f, 0x73));
  p.drawEllipse(QPointF(25, 37), 2.6, 2.6);
  p.drawEllipse(QPointF(32, 37), 2.6, 2.6);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace tavi
