#include "gui/base/helper_form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "gui/base/flat_glyph_button.h"
#include "gui/base/glyph.h"
#include "gui/base/helper_look.h"
#include "gui/base/palette.h"

namespace rk5 {
namespace {

constexpr const HelperGeometry& g = kHelperGeometry;

QSize SmallestSize(const QIcon& icon) {
  const QList<QSize> sizes = icon.availableSizes();
  if (sizes.isEmpty()) return QSize(16, 16);
  return *std::min_element(sizes.begin(), sizes.end(), [](const QSize& a, const QSize& b) {
    return a.width() * a.height() < b.width() * b.height();
  });
}

}  // namespace

THelperForm::THelperForm(QWidget* owner, const RunTitle* title)
    : QWidget(owner, Qt::Window), title_(title) {
  // The task bar shows the run's title, not the caption drawn in the band.
  if (title_ != nullptr) connect(title_, &RunTitle::Changed, this, &THelperForm::SyncTaskbarTitle);
}

THelperForm::~THelperForm() {
  if (modal_loop_ != nullptr) modal_loop_->exit();
}

void THelperForm::CompleteConstruction() {
  setWindowFlags(windowFlags() | Qt::Window | Qt::FramelessWindowHint);
  // The whole surface is painted by PaintLook; no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(HelperFont());

  close_button_ = new FlatGlyphButton(this, palette::Opaque(palette::kTitleBand));
  close_button_->setObjectName(QStringLiteral("CloseButton"));
  close_button_->setGeometry(0, g.close_top, g.close_width, g.close_height);
  const QString glyph = QStringLiteral("BTNCLOSE");
  close_button_->SetGlyph(LoadGlyph(glyph), GlyphStrokes(glyph));
  connect(close_button_, &QPushButton::clicked, this, &THelperForm::CloseButtonClick);
  Resize();
}

QPushButton* THelperForm::CloseButton() const { return close_button_; }

bool THelperForm::HasIcon() const {
  return testAttribute(Qt::WA_SetWindowIcon) && !windowIcon().isNull();
}

void THelperForm::SetAlpha(int alpha) {
  alpha_ = std::clamp(alpha, 0, 255);
  // Qt keeps the opacity in 8 bits, truncating; half a step up lands exactly on alpha_.
  setWindowOpacity(alpha_ == 255 ? 1.0 : (alpha_ + 0.5) / 255.0);
}

void THelperForm::CloseButtonClick() { close(); }

void THelperForm::FormCloseQuery(bool&) {}
void THelperForm::FormClose(CloseAction&) {}

void THelperForm::ShowModal() {
  if (modal_loop_ != nullptr) return;  // already showing modally
  QPointer<THelperForm> self(this);
  if (isVisible()) hide();  // modality applies from the next showing
  setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  modal_loop_ = &loop;
  show();
  raise();
  activateWindow();
  if (isVisible()) loop.exec(QEventLoop::DialogExec);
  if (self.isNull()) return;  // freed while shown
  modal_loop_ = nullptr;
  if (isVisible()) hide();  // the loop ended by a request to terminate
  setWindowModality(Qt::NonModal);
}

void THelperForm::closeEvent(QCloseEvent* event) {
  bool can_close = true;
  FormCloseQuery(can_close);
  CloseAction action = CloseAction::Hide;
  if (can_close) FormClose(action);
  if (!can_close || action == CloseAction::None) {
    event->ignore();
    return;
  }
  event->accept();  // Qt hides the window
  if (action == CloseAction::Free) deleteLater();
}

void THelperForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shown_before_) {
    shown_before_ = true;
    if (centre_on_desktop_) {
      if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->virtualGeometry();
        move(desktop.left() + (desktop.width() - width()) / 2,
             desktop.top() + (desktop.height() - height()) / 2);
      }
    }
  }
  SyncTaskbarTitle();
}

void THelperForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (modal_loop_ != nullptr) modal_loop_->exit();
}

bool THelperForm::event(QEvent* event) {
  const bool result = QWidget::event(event);
  switch (event->type()) {
    case QEvent::WindowTitleChange:
      update(0, 0, width(), g.band_height);  // the band shows the current caption
      SyncTaskbarTitle();
      break;
    case QEvent::WinIdChange:
      SyncTaskbarTitle();
      break;
    default:
      break;
  }
  return result;
}

void THelperForm::SyncTaskbarTitle() {
  if (QWindow* window = windowHandle()) {
    const QString title = TextOf(title_);
    if (window->title() != title) window->setTitle(title);
  }
}

void THelperForm::Resize() {
  if (close_button_ != nullptr) {
    close_button_->move(width() - close_button_->width() - g.close_right_gap, close_button_->y());
  }
}

void THelperForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Resize();
}

void THelperForm::paintEvent(QPaintEvent*) { PaintLook(); }

void THelperForm::PaintLook() {
  QPainter painter(this);
  const int w = width();
  const int h = height();
  painter.fillRect(0, 0, w, h, QColor::fromRgb(palette::Opaque(palette::kWindowBackground)));
  painter.fillRect(0, 0, w, g.band_height, QColor::fromRgb(palette::Opaque(palette::kTitleBand)));
  painter.setPen(QColor::fromRgb(palette::Opaque(palette::kOutline)));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(0, 0, w - 1, h - 1);  // a one-pixel pen covers columns 0 .. w - 1

  QFont caption_font = font();
  caption_font.setBold(true);
  painter.setFont(caption_font);
  painter.setPen(QColor::fromRgb(palette::Opaque(palette::kCaptionText)));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(QColor::fromRgb(palette::Opaque(palette::kTitleBand)));
  const bool icon = HasIcon();
  const int x = icon ? g.caption_x_icon : g.caption_x;
  // A caption too long for the band runs on; the close button is painted over it.
  const QFontMetrics metrics(caption_font);
  painter.drawText(QRect(x, g.caption_y, std::max(0, metrics.horizontalAdvance(windowTitle())) + 1,
                         metrics.height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                   windowTitle());
  if (icon) {
    // At its smallest size, from the picture that fills the device's pixels (the 32-pixel
    // one on a screen of twice the density).
    const QIcon window_icon = windowIcon();
    const QSize size = SmallestSize(window_icon);
    painter.drawPixmap(QRect(QPoint(g.icon_x, g.icon_y), size),
                       window_icon.pixmap(size, devicePixelRatioF()));
  }
}

void THelperForm::MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
  // Any button starts a move.
  if (y < g.band_height) {
    dragging_ = true;
    drag_x_ = x;
    drag_y_ = y;
    // The window system moves the window where it can: the only way under Wayland, and
    // an X11 window manager snaps and constrains it. Where it refuses (no window manager,
    // the offscreen platform), the moves below follow the pointer.
    QWindow* window = windowHandle();
    system_move_ = window != nullptr && window->startSystemMove();
  } else {
    dragging_ = false;
  }
}

void THelperForm::MouseMove(Qt::KeyboardModifiers, int x, int y) {
  if (!dragging_ || system_move_) return;
  // The pointer's screen position at this report; the grabbed point stays under it.
  const QPoint pointer = mapToGlobal(QPoint(x, y));
  move(pointer.x() - drag_x_, pointer.y() - drag_y_);
}

void THelperForm::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
  dragging_ = false;
  system_move_ = false;
}

void THelperForm::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  // Qt hands presses that a child ignores (labels) on to the window; they belong to the
  // child. Disabled children take no mouse input, so presses on them do reach the window.
  if (const QWidget* child = childAt(pos); child != nullptr && child->isEnabled()) return;
  event->accept();
  MouseDown(event->button(), event->modifiers(), pos.x(), pos.y());
}

void THelperForm::mouseMoveEvent(QMouseEvent* event) {
  QWidget::mouseMoveEvent(event);
  const QPoint pos = event->position().toPoint();
  MouseMove(event->modifiers(), pos.x(), pos.y());
}

void THelperForm::mouseReleaseEvent(QMouseEvent* event) {
  QWidget::mouseReleaseEvent(event);
  const QPoint pos = event->position().toPoint();
  MouseUp(event->button(), event->modifiers(), pos.x(), pos.y());
}

}  // namespace rk5
