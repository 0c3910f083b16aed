#include "support/alert_catcher.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "gui/alert/alert_box.h"

namespace rk5::test {

AlertCatcher::AlertCatcher() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* alert = qobject_cast<TAlertBox*>(window);
      if (alert == nullptr || !alert->isVisible() || alert->property("answered").toBool()) continue;
      alert->setProperty("answered", true);
      texts_.append(alert->Label1()->text());
      alert->btnDl()->click();
    }
  });
  timer_.start();
}

}  // namespace rk5::test
