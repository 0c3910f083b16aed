#pragma once
// StartProgram: starts a file the way the shell's default action does. A program starts
// with its parameters in the folder given; a document or an address goes to the desktop's
// opener. Texts of any length pass whole.
#include <optional>
#include <string>

#include "platform/program_start.h"

namespace rk5 {

// FileName: a path, a name found in Folder, or an address. Params: one text, may be
// empty. Folder: the working folder, may be empty. ShowCmd: the first window's show
// state (every caller passes 0). True when it started; the system's callers ignore it.
bool StartProgram(platform::ProgramStart& Starter, const std::string& FileName,
                  const std::string& Params, const std::string& Folder, int ShowCmd);

// One argument written so that the Windows-way split of a parameter text (StartProgram's,
// a shortcut's) gives it back whole, blanks included: in double quotes. None for a text
// with a double quote, which that split cannot keep.
std::optional<std::string> QuotedArgument(const std::string& text);

}  // namespace rk5
