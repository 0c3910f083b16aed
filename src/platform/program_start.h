#pragma once
// Starting a file the way the shell's default action does: a program is started with its
// parameters in a working folder; a document or an address ("http:", "https:",
// "mailto:") is handed to the desktop's opener. A started program is on its own: it
// outlives this one and inherits none of its open files.
#include <memory>
#include <string>

namespace rk5::platform {

class ProgramStart {
 public:
  virtual ~ProgramStart() = default;
  // file: a path, or a name looked up in folder (never through a search path), or an
  // address. parameters: one text, split the Windows way. folder: the working folder,
  // empty for this process's own. show_command: the window's first show state as the
  // Windows platform counts it (0 hidden, 1 normal); platforms without it ignore it.
  // True when the program (or the opener) was started.
  virtual bool Start(const std::string& file, const std::string& parameters,
                     const std::string& folder, int show_command) = 0;
};

std::unique_ptr<ProgramStart> MakeProgramStart();

}  // namespace rk5::platform
