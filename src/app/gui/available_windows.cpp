#include "app/gui/window_factory.h"
#include "catalogue/gui/main_window.h"
#include "catalogue/icon_bitmaps.h"
#include "platform/icon_extraction.h"

namespace rk5 {

// The composition root: the platform pieces each window uses are made here, once per run.
void RegisterAvailableWindows(WindowFactory& factory) {
  static std::unique_ptr<platform::IconExtraction> icons = platform::MakeIconExtraction();
  factory.Register(WindowKind::Main, [] { return new TMain(nullptr, MakeIconBuilder(*icons)); });
}

}  // namespace rk5
