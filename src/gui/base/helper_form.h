#pragma once
// THelperForm: the base of every window. No system frame; the window draws its own dark
// background, title band with the caption, outline and close button, and moves when its
// title band is dragged with any mouse button.
//
// A derived window's constructor loads its design and then completes the look:
//   LoadDesign(ui_);          // step 1: size, caption, colours, font, controls
//   CompleteConstruction();   // steps 2 to 5: frameless, Verdana 8, close button, placing
//   FormCreate();             // the window's own creation handler, if it has one
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include "gui/base/design_loading.h"
#include "gui/base/run_title.h"

class QPushButton;

namespace rk5 {

class FlatGlyphButton;

class THelperForm : public QWidget {
  Q_OBJECT
  // Design data beside the geometry and caption a .ui file gives: constant alpha (255 is
  // opaque) and centring on the desktop when first shown.
  Q_PROPERTY(int Alpha READ Alpha WRITE SetAlpha)
  Q_PROPERTY(bool CentreOnDesktop READ CentreOnDesktop WRITE SetCentreOnDesktop)

 public:
  // What a granted close request does with the window.
  enum class CloseAction { None, Hide, Free };

  // title: the run's title, shown on the task-bar button; none shows the program's name.
  explicit THelperForm(QWidget* owner = nullptr, const RunTitle* title = nullptr);
  ~THelperForm() override;

  // Shows the window modally: it becomes the active window, the program's other windows
  // take no input, and the call returns when the window has been closed by any means
  // (its buttons, the close button, a close request, hiding, a request to terminate).
  // Events keep being delivered meanwhile, so other windows repaint and fetches report.
  void ShowModal();
  bool ShowingModal() const { return modal_loop_ != nullptr; }

  QPushButton* CloseButton() const;
  bool Dragging() const { return dragging_; }
  int DragX() const { return drag_x_; }
  int DragY() const { return drag_y_; }
  bool HasIcon() const;
  const RunTitle* Title() const { return title_; }

  int Alpha() const { return alpha_; }
  void SetAlpha(int alpha);
  bool CentreOnDesktop() const { return centre_on_desktop_; }
  void SetCentreOnDesktop(bool centre) { centre_on_desktop_ = centre; }

 public Q_SLOTS:
  // The close button's click: the window's normal close operation.
  void CloseButtonClick();

 protected:
  template <class Design>
  void LoadDesign(Design& design) {
    DesignLoading scope(*this);
    design.setupUi(this);
  }
  void CompleteConstruction();

  // The close operation's two events; by default a close is granted and hides.
  virtual void FormCloseQuery(bool& can_close);
  virtual void FormClose(CloseAction& action);

  // The base operations, in client coordinates. A press on a child control never
  // reaches MouseDown.
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  virtual void Resize();

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void PaintLook();
  void SyncTaskbarTitle();

  int drag_x_ = 0;
  int drag_y_ = 0;
  bool dragging_ = false;
  bool system_move_ = false;  // the window system carries the current move
  FlatGlyphButton* close_button_ = nullptr;

  int alpha_ = 255;
  bool centre_on_desktop_ = false;
  bool shown_before_ = false;
  QEventLoop* modal_loop_ = nullptr;
  const RunTitle* title_ = nullptr;
};

}  // namespace rk5
