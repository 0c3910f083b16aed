#include "gui/main/program_list.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

namespace rk5 {
namespace {

class RowDelegate : public QStyledItemDelegate {
 public:
  explicit RowDelegate(TProgramList* list) : QStyledItemDelegate(list), list_(list) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    int height = option.fontMetrics.height();
    if (list_->OnMeasureItem) list_->OnMeasureItem(list_, index.row(), height);
    return QSize(list_->viewport()->width(), height);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setFont(list_->font());  // every row starts with the list's own font
    if (list_->OnDrawItem) list_->OnDrawItem(*painter, index.row(), option.rect, selected);
    painter->restore();
    if (option.state.testFlag(QStyle::State_HasFocus)) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(option);
      focus.backgroundColor = option.palette.color(QPalette::Base);
      list_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, list_);
    }
  }

 private:
  TProgramList* list_;
};

}  // namespace

TProgramList::TProgramList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new RowDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

int TProgramList::ItemIndex() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.first());
}

void TProgramList::SetItemIndex(int index) {
  if (index >= 0 && index < count()) {
    setCurrentRow(index);
  } else {
    clearSelection();
  }
}

void TProgramList::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();  // the context menu request follows; the selection stays
    return;
  }
  QListWidget::mousePressEvent(event);
}

void TProgramList::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QListWidget::mouseReleaseEvent(event);
}

}  // namespace rk5
