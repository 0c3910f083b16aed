#pragma once
// What the start-up modes work with: the run's facts, the platform services they use and
// how they tell the user something. The start-up window fills it; a test fills it with a
// scratch folder, scratch services and callbacks that record.
#include <functional>
#include <string>

#include "platform/busy_marks.h"
#include "platform/file_copy.h"
#include "platform/file_tree.h"
#include "platform/launcher_files.h"
#include "platform/program_start.h"
#include "platform/registry.h"

namespace rk5 {

// The platform services the start-up modes use.
struct StartupServices {
  platform::Registry& registry;
  platform::ProgramStart& program_start;
  platform::FileCopy& file_copy;
  platform::FileTree& file_tree;
  platform::LauncherFiles& launcher_files;
  platform::BusyMarks& busy_marks;
};

struct ModeContext : StartupServices {
  std::string program_folder;  // the run's ProgramFolder, with its trailing separator
  std::string executable;      // the running executable's full path
  std::string argument;        // the second command-line argument, empty when none
  // Shows text in the start-up window, modally; returns when the user has closed it.
  std::function<void(const std::string& text)> show_message;
  // Shows text in an error box titled with the application title; returns when closed.
  std::function<void(const std::string& text)> show_error;
};

}  // namespace rk5
