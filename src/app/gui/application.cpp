#include "app/gui/application.h"

#include <QApplication>
#include <QCloseEvent>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/gui/scale_factor.h"

namespace rk5 {

Application::Application() {
  // The run ends with its main window, not with whichever window happens to close last.
  quit_on_last_window_closed_ = QGuiApplication::quitOnLastWindowClosed();
  QGuiApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() {
  if (!main_.isNull()) disconnect(main_, nullptr, this, nullptr);
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) delete it->data();
  QGuiApplication::setQuitOnLastWindowClosed(quit_on_last_window_closed_);
}

QWidget* Application::CreateForm(const std::function<QWidget*()>& create) {
  QWidget* form = create();
  if (form == nullptr) return nullptr;
  forms_.emplace_back(form);
  if (main_.isNull() && forms_.size() == 1) {
    main_ = form;
    form->installEventFilter(this);
    // A main window freed without closing ends the run as well.
    connect(form, &QObject::destroyed, this, &Application::Terminate);
  }
  return form;
}

void Application::Terminate() {
  terminated_ = true;
  // Outside any loop there is nothing to end yet; Run sees the flag.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

int Application::Run() {
  if (main_.isNull()) return 0;
  if (!terminated_ && ShowMainWindowAtStart) main_->show();
  if (terminated_) {
    QMetaObject::invokeMethod(
        this, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  }
  QCoreApplication::exec();
  return 0;
}

bool Application::eventFilter(QObject* watched, QEvent* event) {
  if (watched == main_ && event->type() == QEvent::Close && !delivering_close_) {
    // Hand the close to the window itself first: only a granted close ends the run.
    delivering_close_ = true;
    watched->event(event);
    delivering_close_ = false;
    if (event->isAccepted()) Terminate();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

int RunPlan(Application& app, const ModePlan& plan, const WindowFactory& factory) {
  app.ShowMainWindowAtStart = plan.ShowMainWindowAtStart;
  for (WindowKind kind : plan.windows) {
    app.CreateForm(
        [&app, &factory, kind] { return factory.Create(kind, [&app] { app.Terminate(); }); });
  }
  return app.Run();
}

int RunApplication(int& argc, char** argv, const ModePlan& plan, const WindowFactory& factory) {
  // A run that shows nothing takes the toolkit's platform without a display: it starts
  // sooner and works where there is no display. Given as an argument, not through the
  // environment, so that programs the run starts do not inherit it.
  std::vector<char*> arguments(argv, argv + argc);
  char platform_option[] = "-platform";
  char no_display[] = "minimal";
  if (!plan.UsesDisplay) {
    arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), {platform_option, no_display});
  }
  int count = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);
  if (const auto refused = RefusedScaleFactor(std::getenv("QT_SCALE_FACTOR"))) {
    std::fprintf(stderr, "%s\n", refused->c_str());
    qunsetenv("QT_SCALE_FACTOR");  // read once, by the toolkit's construction below
  }
  QApplication toolkit(count, arguments.data());
  // The windows draw their own look; one widget style keeps their buttons alike on every
  // desktop.
  QApplication::setStyle(QStringLiteral("Fusion"));
  Application app;
  return RunPlan(app, plan, factory);
}

}  // namespace rk5
