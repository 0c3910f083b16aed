#include "app/gui/application.h"
#include "gui/base/run_title.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <string>
#include <vector>

#include "gui/base/helper_form.h"
#include "support/qt_printers.h"

namespace rk5 {
namespace {

// A window of the run; it may refuse to close.
class Window : public QWidget {
 public:
  bool refuse_close = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (refuse_close) {
      event->ignore();
    } else {
      event->accept();
    }
  }
};

class ModalWindow : public THelperForm {
 public:
  ModalWindow() { CompleteConstruction(); }
};

void Soon(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

// True when an ordinary event loop still runs and ends as asked.
bool EventLoopsStillWork() {
  QEventLoop loop;
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    loop.quit();
  });
  loop.exec();
  return ran;
}

TEST(Application, FirstWindowCreatedIsTheMainWindow) {
  Application app;
  EXPECT_EQ(app.MainForm(), nullptr);
  EXPECT_EQ(app.CreateForm([] { return nullptr; }), nullptr);  // a window that is not built
  QWidget* first = app.CreateForm([] { return new Window; });
  QWidget* second = app.CreateForm([] { return new Window; });
  EXPECT_EQ(app.MainForm(), first);
  EXPECT_NE(second, first);
}

TEST(Application, LoopShowsTheMainWindowOnlyWhenAsked) {
  for (bool show : {true, false}) {
    Application app;
    app.ShowMainWindowAtStart = show;
    QWidget* main = app.CreateForm([] { return new Window; });
    QWidget* other = app.CreateForm([] { return new Window; });
    bool main_visible = !show, other_visible = true;
    Soon([&] {
      main_visible = main->isVisible();
      other_visible = other->isVisible();
      app.Terminate();
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(main_visible, show);
    EXPECT_FALSE(other_visible);
  }
}

TEST(Application, ClosingTheMainWindowEndsTheRunOtherWindowsDoNot) {
  Application app;
  auto* main = static_cast<Window*>(app.CreateForm([] { return new Window; }));
  QWidget* other = app.CreateForm([] { return new Window; });
  std::vector<std::string> steps;
  Soon([&] {
    other->show();
    other->close();
    Soon([&] {
      steps.push_back("running after the other window closed");
      main->refuse_close = true;
      main->close();
      Soon([&] {
        steps.push_back("running after a refused close");
        main->refuse_close = false;
        main->close();
        // Reached inside the run only if the granted close did not end it.
        Soon([&] {
          if (app.Terminated()) return;
          steps.push_back("still running after the main window closed");
          app.Terminate();
        });
      });
    });
  });
  app.Run();
  EXPECT_EQ(steps, (std::vector<std::string>{"running after the other window closed",
                                             "running after a refused close"}));
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(main->isVisible());
  EXPECT_TRUE(EventLoopsStillWork());
}

TEST(Application, TerminateBeforeTheLoopEndsItAsSoonAsItRuns) {
  Application app;
  QWidget* main = app.CreateForm([] { return new Window; });
  app.Terminate();
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(app.Run(), 0);
  EXPECT_FALSE(main->isVisible());
  EXPECT_TRUE(EventLoopsStillWork());
}

TEST(Application, TerminateEndsModalLoopsAndTheRun) {
  Application app;
  app.CreateForm([] { return new Window; });
  ModalWindow modal;
  bool modal_returned = false;
  Soon([&] {
    Soon([&] { app.Terminate(); });
    modal.ShowModal();
    modal_returned = true;
  });
  app.Run();
  EXPECT_TRUE(modal_returned);
  EXPECT_FALSE(modal.isVisible());
  EXPECT_TRUE(EventLoopsStillWork());
}

TEST(Application, StartupWindowThatTerminatesWhileBeingCreated) {
  // The start-up modes do their work, modal message included, inside the creation of
  // the main window and then ask to terminate; the loop must not wait for anything.
  Application app;
  app.ShowMainWindowAtStart = true;
  ModalWindow* created = nullptr;
  app.CreateForm([&] {
    created = new ModalWindow;
    Soon([&] { created->close(); });
    created->ShowModal();
    app.Terminate();
    return created;
  });
  EXPECT_EQ(app.Run(), 0);
  EXPECT_FALSE(created->isVisible());
  EXPECT_TRUE(EventLoopsStillWork());
}

TEST(Application, MainWindowFreedEndsTheRun) {
  Application app;
  QPointer<QWidget> main = app.CreateForm([] { return new Window; });
  Soon([&] { delete main.data(); });
  app.Run();
  EXPECT_TRUE(app.Terminated());
}

TEST(Application, NoWindowReturnsAtOnce) {
  Application app;
  EXPECT_EQ(app.Run(), 0);
  EXPECT_FALSE(app.Terminated());
}

TEST(Application, FreesItsWindowsAndRestoresTheToolkit) {
  const bool quit_on_last = QGuiApplication::quitOnLastWindowClosed();
  QPointer<QWidget> main, other;
  {
    Application app;
    EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
    main = app.CreateForm([] { return new Window; });
    other = app.CreateForm([] { return new Window; });
  }
  EXPECT_TRUE(main.isNull());
  EXPECT_TRUE(other.isNull());
  EXPECT_EQ(QGuiApplication::quitOnLastWindowClosed(), quit_on_last);
}

TEST(Application, TheRunsTitleStartsAsTheProgramsNameAndTellsOfEachChange) {
  RunTitle title;
  EXPECT_EQ(TextOf(&title), QStringLiteral("Rk5 Helper"));
  EXPECT_EQ(TextOf(nullptr), QStringLiteral("Rk5 Helper"));
  QStringList told;
  QObject::connect(&title, &RunTitle::Changed, [&told](const QString& text) { told << text; });
  title.SetText(QStringLiteral("Downloading Tool"));
  title.SetText(QStringLiteral("Downloading Tool"));
  EXPECT_EQ(title.Text(), QStringLiteral("Downloading Tool"));
  EXPECT_EQ(told, QStringList{QStringLiteral("Downloading Tool")});
}

TEST(RunPlan, CreatesThePlansWindowsInOrderAndShowsTheFirst) {
  std::vector<std::string> created;
  WindowFactory factory;
  factory.Register(WindowKind::Main, [&] {
    created.push_back("TMain");
    auto* w = new Window;
    w->setObjectName("TMain");
    return w;
  });
  factory.Register(WindowKind::About, [&] {
    created.push_back("TfrmAbout");
    return new Window;
  });
  ModePlan plan;
  plan.windows = {WindowKind::Main, WindowKind::About};
  Application app;
  bool main_shown = false;
  Soon([&] {
    main_shown = app.MainForm() != nullptr && app.MainForm()->objectName() == "TMain" &&
                 app.MainForm()->isVisible();
    app.MainForm()->close();
  });
  EXPECT_EQ(RunPlan(app, plan, factory), 0);
  EXPECT_EQ(created, (std::vector<std::string>{"TMain", "TfrmAbout"}));
  EXPECT_TRUE(main_shown);

  ModePlan hidden;
  hidden.windows = {WindowKind::About};
  hidden.ShowMainWindowAtStart = false;
  Application second;
  bool visible = true;
  Soon([&] {
    visible = second.MainForm()->isVisible();
    second.Terminate();
  });
  RunPlan(second, hidden, factory);
  EXPECT_FALSE(visible);
  EXPECT_FALSE(second.ShowMainWindowAtStart);
}

}  // namespace
}  // namespace rk5
