#include "gui/base/click_label.h"

#include <QMouseEvent>

namespace rk5 {

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  // The press belongs to the label, never to its window.
  event->accept();
  if (event->button() == Qt::LeftButton) pressed_ = true;
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  if (rect().contains(event->position().toPoint())) Q_EMIT clicked();
}

}  // namespace rk5
