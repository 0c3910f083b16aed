#include "selfinstall/gui/startup_work.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>

#include "selfinstall/mode_work.h"

namespace rk5 {
namespace {

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

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
                        [](const std::string& text) {
                          // The toolkit's error box, titled with the application title.
                          QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                                                Latin1(text));
                        }};
    DoStartupMode(mode, context);
    if (terminate) terminate();
  };
}

}  // namespace rk5
