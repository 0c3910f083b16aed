#pragma once
// The owner-drawn tool list: a list box whose rows are measured and drawn by its window's
// handlers, with the system's focus rectangle around the focused row afterwards. A right
// click opens the popup menu without changing the selection; the menu acts on the
// selected row.
#include <QListWidget>
#include <QRect>
#include <functional>

class QPainter;

namespace rk5 {

class TProgramList : public QListWidget {
  Q_OBJECT

 public:
  explicit TProgramList(QWidget* parent = nullptr);

  // Height of row Index.
  std::function<void(TProgramList* Control, int Index, int& Height)> OnMeasureItem;
  // Draws row Index into Rect (the list's client coordinates, through painter).
  std::function<void(QPainter& painter, int Index, const QRect& Rect, bool Selected)> OnDrawItem;

  // The first row that is selected, or -1.
  int ItemIndex() const;
  void SetItemIndex(int index);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace rk5
