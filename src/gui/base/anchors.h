#pragma once
// Anchors from a window's design: a control whose dynamic property "Anchors" lists the
// window edges it keeps its distance to ("left,top,right,bottom"). Without the property a
// control keeps left and top. Record once the design is loaded, apply on every resize.
#include <QRect>
#include <QWidget>
#include <vector>

namespace rk5 {

class Anchors {
 public:
  void Record(QWidget& window);
  void Apply(QWidget& window) const;

 private:
  struct Entry {
    QWidget* control;
    bool left, top, right, bottom;
    QRect designed;
  };
  std::vector<Entry> entries_;
  QSize designed_size_;
};

}  // namespace rk5
