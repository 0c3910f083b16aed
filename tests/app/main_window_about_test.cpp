// The About window as the main window's run makes it: created hidden after the main window,
// shown modally by its About button, hidden by OK or the close button, the same window
// each time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app/gui/window_factory.h"
#include "gui/main/main_window.h"
#include "support/qt_printers.h"
#include "support/temp_dir.h"
#include "gui/about/frm_about.h"

namespace rk5 {
namespace {

class NoStart : public platform::ProgramStart {
 public:
  bool Start(const std::string&, const std::string&, const std::string&, int) override {
    return false;
  }
};

TEST(MainWindowAbout, AboutShowsTheOneHiddenAboutWindowModally) {
  test::TempDir dir;
  RunState run;
  run.ProgramFolder = dir.folder();
  platform::Services services;
  services.icons = platform::MakeIconExtraction();
  services.program_start = std::make_unique<NoStart>();
  WindowFactory factory;
  RegisterAvailableWindows(factory, run, services);
  ASSERT_TRUE(factory.Has(WindowKind::About));
  std::unique_ptr<QWidget> main_window(factory.Create(WindowKind::Main));
  std::unique_ptr<QWidget> about_window(factory.Create(WindowKind::About));
  auto* main = qobject_cast<TMain*>(main_window.get());
  auto* about = qobject_cast<TfrmAbout*>(about_window.get());
  ASSERT_NE(main, nullptr);
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(about->isVisible());

  std::vector<QPoint> shown_at;
  for (bool by_close_button : {false, true, false}) {
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
      modal = QApplication::activeModalWidget();
      shown_at.push_back(about->pos());
      (by_close_button ? about->CloseButton() : about->btnDl())->click();
    });
    main->btnAbout()->click();
    EXPECT_EQ(modal, about);
    EXPECT_FALSE(about->isVisible());
  }
  EXPECT_EQ(shown_at, std::vector<QPoint>(3, shown_at.front()));
  EXPECT_EQ(about->Label(1)->text(), QStringLiteral("Rk5 Helper Beta"));
}

}  // namespace
}  // namespace rk5
