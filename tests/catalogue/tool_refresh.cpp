// The catalogue window in a process of its own, for the tests of copies refreshing at once
// and of hostile files in the program folder.
//   tool_refresh <program folder> <rounds>
// Opens TMain on the folder, prints "ready", then presses Refresh <rounds> times, each time
// waiting until Refresh is enabled again, and prints every message the window showed as
// "alert: <text>". Exits 0 when every refresh ended, 1 when one did not.
#include <QApplication>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/main/main_window.h"
#include "selfinstall/run_state.h"
#include "support/alert_catcher.h"
#include "support/event_wait.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  QApplication app(argc, argv);
  rk5::RunState run;
  run.ProgramFolder = argv[1];
  rk5::test::AlertCatcher alerts;
  rk5::TMain main(run);
  std::printf("ready\n");
  std::fflush(stdout);
  const int rounds = std::atoi(argv[2]);
  for (int round = 0; round < rounds; ++round) {
    main.btnRefresh()->click();
    if (!rk5::test::RunUntil([&] { return main.btnRefresh()->isEnabled(); },
                             std::chrono::seconds(60))) {
      return 1;
    }
  }
  for (const QString& text : alerts.Texts()) std::printf("alert: %s\n", text.toLatin1().constData());
  return 0;
}
