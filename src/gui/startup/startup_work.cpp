#include "gui/startup/startup_work.h"

#include <QLabel>
#include <QMessageBox>
#include "gui/base/latin1.h"

#include "selfinstall/mode_work.h"

namespace rk5 {
StartupModeWork MakeStartupWork(const RunState& run, std::string executable,
                                StartupServices services, std::function<void()> terminate) {
  return [&run, executable = std::move(executable), services, terminate = std::move(terminate)](
             TfrmAlert& window, const std::string& mode) {
    ModeContext context{services,
                        run.ProgramFolder,
                        executable,
                        run.Argument,
                        [&window](const std::string& text) {
                          window.Label1()->setText(Latin1(text));
                          window.ShowModal();
                        },
                        [&window](const std::string& text) {
                          // The toolkit's error box, titled with the run's title.
                          QMessageBox::critical(nullptr, TextOf(window.Title()), Latin1(text));
                        }};
    DoStartupMode(mode, context);
    if (terminate) terminate();
  };
}

}  // namespace rk5
