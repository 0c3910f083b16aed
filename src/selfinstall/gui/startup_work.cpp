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

StartupModeWork MakeStartupWork(StartupFacts facts, StartupServices services,
                                std::function<void()> terminate) {
  return [facts = std::move(facts), services, terminate = std::move(terminate)](
             TfrmAlert& window, const std::string& mode) {
    ModeContext context{facts.program_folder,
                        facts.executable,
                        facts.argument,
                        services.registry,
                        services.program_start,
                        services.file_copy,
                        services.file_tree,
                        services.launcher_files,
                        services.busy_marks,
                        [&window](const std::string& text) {
                          window.Label1()->setText(Latin1(text));
                          window.ShowModal();
                        },
                        [](const std::string& text) {
                          QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                                                Latin1(text));
                        }};
    DoStartupMode(mode, context);
    if (terminate) terminate();
  };
}

}  // namespace rk5
