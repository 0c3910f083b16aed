#pragma once
// Windows for the base-window tests: a THelperForm whose design is a small table, with its
// protected operations reachable.
#include <QImage>
#include <QString>
#include <QWidget>

#include "gui/base/helper_form.h"

namespace rk5::test {

struct SampleDesign {
  QString caption = QStringLiteral("Rk5 Helper");
  int width = 311;
  int height = 329;
  int alpha = 238;

  void setupUi(QWidget* form) const {
    form->resize(width, height);
    form->setWindowTitle(caption);
    form->setProperty("Alpha", alpha);
  }
};

class SampleForm : public THelperForm {
 public:
  explicit SampleForm(const SampleDesign& design = {}, const RunTitle* title = nullptr)
      : THelperForm(nullptr, title) {
    SampleDesign copy = design;
    LoadDesign(copy);
    CompleteConstruction();
  }

  using THelperForm::MouseDown;
  using THelperForm::MouseMove;
  using THelperForm::MouseUp;

  // What the close operation answers.
  bool grant_close = true;
  CloseAction close_action = CloseAction::Hide;
  int close_queries = 0;

 protected:
  void FormCloseQuery(bool& can_close) override {
    ++close_queries;
    can_close = grant_close;
  }
  void FormClose(CloseAction& action) override { action = close_action; }
};

// The window as it paints, children included.
inline QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }

}  // namespace rk5::test
