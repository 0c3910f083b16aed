#pragma once
// Process-wide values settled by the program body before any window exists.
#include <string>

namespace rk5 {

inline constexpr int OwnBuild = 2;  // this program's build number

struct RunState {
  std::string RunMode;        // first argument, possibly replaced by the registry check
  std::string ProgramFolder;  // executable's folder with a trailing separator
  bool UpdateRequired = false;
  std::string UpdateURL;
};

// The one run state of this process. Written by the body at start and later only by
// the main window on the GUI thread.
RunState& TheRunState();

}  // namespace rk5
