#pragma once
// The application object: creates the windows of a run (the first one created is the run's
// main window), shows the main window at start only when ShowMainWindowAtStart is set, and
// runs the message loop until the main window closes or the application is told to
// terminate.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "app/gui/window_factory.h"
#include "app/mode_plan.h"

namespace rk5 {

class Application : public QObject {
  Q_OBJECT

 public:
  // Needs a QApplication. When destroyed it frees the windows it created that still exist.
  Application();
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  bool ShowMainWindowAtStart = true;

  // Creates a window through create; the first window created this way is the main window.
  QWidget* CreateForm(const std::function<QWidget*()>& create);
  QWidget* MainForm() const { return main_; }

  // Ends the message loop: at once when it runs (modal loops inside it end too), or as soon
  // as it starts. The main window is not shown then.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // The message loop. Returns at once when there is no main window.
  int Run();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> main_;
  std::vector<QPointer<QWidget>> forms_;
  bool terminated_ = false;
  bool delivering_close_ = false;
  bool quit_on_last_window_closed_ = true;
};

// Creates the plan's windows in order and runs the loop; the run's exit code.
int RunPlan(Application& app, const ModePlan& plan, const WindowFactory& factory);

// Initialises the toolkit and the application object, then RunPlan.
int RunApplication(int& argc, char** argv, const ModePlan& plan, const WindowFactory& factory);

}  // namespace rk5
