#include "gui/base/design_loading.h"

namespace rk5 {
namespace {

constexpr const char* kDepth = "rk5DesignLoading";

void AddDepth(QWidget& window, int step) {
  window.setProperty(kDepth, window.property(kDepth).toInt() + step);
}

}  // namespace

DesignLoading::DesignLoading(QWidget& window) : window_(&window) { AddDepth(window, 1); }

DesignLoading::~DesignLoading() {
  if (!window_.isNull()) AddDepth(*window_, -1);
}

bool DesignLoading::Active(const QWidget& control) {
  const QWidget* window = control.window();
  return window != nullptr && window->property(kDepth).toInt() > 0;
}

}  // namespace rk5
