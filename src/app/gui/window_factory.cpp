#include "app/gui/window_factory.h"

namespace rk5 {

void WindowFactory::Register(WindowKind kind, WindowCreator creator) {
  creators_[kind] = std::move(creator);
}

void WindowFactory::Register(WindowKind kind, std::function<QWidget*()> creator) {
  creators_[kind] = [creator = std::move(creator)](const TerminateRun&) { return creator(); };
}

bool WindowFactory::Has(WindowKind kind) const { return creators_.count(kind) != 0; }

QWidget* WindowFactory::Create(WindowKind kind, const TerminateRun& terminate) const {
  auto it = creators_.find(kind);
  return it == creators_.end() ? nullptr : it->second(terminate);
}

}  // namespace rk5
