#!/usr/bin/env bash
# Draws the program's icon (16, 32, 48 and 64 pixels) into the GUI library's resources, and
# its 16-pixel picture as the main window's band icon. RK5_BUILD_DIR names the build folder
# (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${RK5_BUILD_DIR:-build}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" --target tool_program_icon >/dev/null
QT_QPA_PLATFORM=offscreen "$dir/tests/tool_program_icon" src/ui/gui
cp src/ui/gui/program_icon_16.png src/catalogue/gui/icon16.png
