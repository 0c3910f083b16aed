#pragma once
// What a run settled before any window exists, and the update announcement that the start
// and each refresh look for. main() owns the run's one RunState and hands it to the
// windows that read or write it.
#include <string>

#include "ini/ini_document.h"

namespace rk5 {

inline constexpr int OwnBuild = 2;  // this program's build number

struct RunState {
  std::string RunMode;        // first argument, possibly replaced by the registry check
  std::string Argument;       // the second argument: the section of "/dl" and "/run"
  std::string ProgramFolder;  // executable's folder with a trailing separator
  bool UpdateRequired = false;
  std::string UpdateURL;
  // A PEM file of one more certificate authority that https fetches trust besides the
  // system's, from the user's own registry; empty: none. No catalogue or server sets it.
  std::string TrustedAuthority;
  // Set by the first start-up window of the run, so that the mode's work runs once.
  bool ModeHandled = false;
};

// Reads [Rk5Helper] Build and URL of a catalogue into state when it announces a build
// newer than this one. Used at start (the file, when it exists) and after each refresh.
void CheckForUpdate(const IniDocument& catalogue, RunState& state);
void CheckForUpdate(const std::string& catalogue_file, RunState& state);

}  // namespace rk5
