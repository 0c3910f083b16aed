#pragma once
// Where this user's files live on this system.
#include <string>

namespace rk5::platform {

std::string HomeFolder();
// The per-user configuration folder (XDG config home).
std::string ConfigFolder();
// The user's desktop folder, without a trailing separator.
std::string DesktopFolder();
// This user's data folder (XDG data home).
std::string DataFolder();
// The folder of this user's applications menu, without a trailing separator.
std::string ApplicationsFolder();
// The folder programs are installed under, without a trailing separator.
std::string ProgramFilesFolder();

}  // namespace rk5::platform
