#pragma once
// The file names of the marks that say who holds what (busy marks).
#include <string>

namespace rk5::platform {

// A file name for a mark's text: letter case (ASCII) does not matter, and no text can
// make it name anything but one file of the folder. kind keeps apart marks of
// different sorts in one folder.
std::string MarkFileName(char kind, const std::string& text);

}  // namespace rk5::platform
