#!/usr/bin/env bash
# Draws the program's icon (16, 32, 48 and 64 pixels) into the GUI library's resources.
# RK5_BUILD_DIR names the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${RK5_BUILD_DIR:-build}
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" --target tool_program_icon >/dev/null
QT_QPA_PLATFORM=offscreen "$dir/tests/tool_program_icon" src/gui/base
