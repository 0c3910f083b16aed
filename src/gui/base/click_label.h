#pragma once
// A label that reports a click: a left press on it followed by the release over it. It
// looks like any other label; the pointer keeps its arrow shape over it.
#include <QLabel>

namespace rk5 {

class TClickLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TClickLabel(QWidget* parent = nullptr);

 Q_SIGNALS:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace rk5
