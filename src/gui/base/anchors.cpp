#include "gui/base/anchors.h"

#include <QVariant>

namespace rk5 {

void Anchors::Record(QWidget& window) {
  entries_.clear();
  designed_size_ = window.size();
  for (QWidget* control : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    QVariant anchors = control->property("Anchors");
    if (!anchors.isValid()) continue;
    QString edges = anchors.toString();
    entries_.push_back({control, edges.contains(QLatin1String("left")),
                        edges.contains(QLatin1String("top")),
                        edges.contains(QLatin1String("right")),
                        edges.contains(QLatin1String("bottom")), control->geometry()});
  }
}

void Anchors::Apply(QWidget& window) const {
  const int dw = window.width() - designed_size_.width();
  const int dh = window.height() - designed_size_.height();
  for (const Entry& e : entries_) {
    QRect r = e.designed;
    // Both edges of an axis: the control stretches; only the far one: it moves; neither:
    // it keeps its place.
    if (e.right && e.left) {
      r.setWidth(r.width() + dw);
    } else if (e.right) {
      r.moveLeft(r.left() + dw);
    }
    if (e.bottom && e.top) {
      r.setHeight(r.height() + dh);
    } else if (e.bottom) {
      r.moveTop(r.top() + dh);
    }
    e.control->setGeometry(r);
  }
}

}  // namespace rk5
