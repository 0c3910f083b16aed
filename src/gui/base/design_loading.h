#pragma once
// Marks the time a window spends loading its design. Controls skip checks there that
// only make sense between finished values (the gauge's range check). The mark lives on
// the window itself, so loading one window says nothing about another.
#include <QPointer>
#include <QWidget>

namespace rk5 {

class DesignLoading {
 public:
  // Marks window while this object lives; a window may load designs inside its own.
  explicit DesignLoading(QWidget& window);
  ~DesignLoading();
  DesignLoading(const DesignLoading&) = delete;
  DesignLoading& operator=(const DesignLoading&) = delete;

  // The window control belongs to is loading its design.
  static bool Active(const QWidget& control);

 private:
  QPointer<QWidget> window_;
};

}  // namespace rk5
