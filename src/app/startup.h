#pragma once
// The start-up decision: which job this run does, from the first argument, the
// registered install folder and the catalogue an earlier refresh left beside the program.
#include <string>
#include <string_view>

#include "app/run_state.h"
#include "catalogue/ini_document.h"
#include "platform/registry.h"

namespace rk5 {

inline constexpr std::string_view kProgramKey = "\\SOFTWARE\\Rk5Helper\\";

// The folder part of a full path, with its trailing separator.
std::string FolderOfPath(std::string_view full_path);

// Upper case for the letters a to z only; every other byte is kept.
std::string UpperAscii(std::string_view text);

// RunMode from the argument, overridden by the registry check; the update announcement
// of ProgramFolder + "rk5h.ini".
RunState DecideRun(std::string_view first_argument, std::string_view program_folder,
                   platform::Registry& registry);

// Reads [Rk5Helper] Build and URL of a catalogue into state when it announces a build
// newer than this one. Used at start (the file, when it exists) and after each refresh.
void CheckForUpdate(const IniDocument& catalogue, RunState& state);
void CheckForUpdate(const std::string& catalogue_file, RunState& state);

}  // namespace rk5
