#include "app/gui/application.h"

#include <QApplication>
#include <QWidget>

namespace rk5 {

int RunApplication(int& argc, char** argv, const ModePlan& plan, const WindowFactory& factory) {
  QApplication app(argc, argv);
  QWidget* mainWindow = nullptr;
  for (WindowKind kind : plan.windows) {
    QWidget* window = factory.Create(kind);
    if (mainWindow == nullptr) mainWindow = window;
  }
  if (mainWindow == nullptr) return 0;
  if (plan.ShowMainWindowAtStart) mainWindow->show();
  app.exec();
  return 0;
}

}  // namespace rk5
