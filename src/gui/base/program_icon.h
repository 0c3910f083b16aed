#pragma once
// The program's own icon: one design drawn at 16, 32, 48 and 64 pixels (the pictures are
// made by tests/ui/tool_program_icon and kept as resources of the GUI library).
#include <QIcon>
#include <string>

namespace rk5 {

inline constexpr int kProgramIconSizes[] = {16, 32, 48, 64};

// Makes the pictures reachable under ":/rk5helper/program_icon_<size>.png"; designs that
// name one call it before they load.
void RegisterProgramIcon();

QIcon ProgramIcon();  // every size
// The 64-pixel picture's PNG bytes, for launchers that show the program.
std::string ProgramIconPng();

}  // namespace rk5
