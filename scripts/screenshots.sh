#!/usr/bin/env bash
# Writes PNG screenshots of the message window, the progress gauge at 0, 50 and 100
# percent, the download window (downloading, installed), the licence window (fetching, with
# a text), the About window, the list's pop-up menu and the uninstall question into
# docs/screenshots/. Renders on Qt's offscreen
# platform; with --xvfb it renders on a virtual X server (Xvfb at 96 dots per inch)
# instead. RK5_BUILD_DIR names the build folder (default: build). Then the demo takes the
# main window's (main_window.png, main_window_2x.png at twice the density) and the
# finished download's (demo_download.png) under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=${RK5_BUILD_DIR:-build}
out=docs/screenshots
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja >/dev/null
fi
cmake --build "$dir" --target tool_screenshots -j "$(nproc)" >/dev/null
mkdir -p "$out"
case "${1:-}" in
  --xvfb)
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
      env QT_QPA_PLATFORM=xcb "$dir/tests/tool_screenshots" "$out" ;;
  "")
    QT_QPA_PLATFORM=offscreen "$dir/tests/tool_screenshots" "$out" ;;
  *) echo "usage: $0 [--xvfb]" >&2; exit 2 ;;
esac
shots=$PWD/$out
RK5_DEMO_SHOT=$shots/main_window.png scripts/demo.sh
QT_SCALE_FACTOR=2 RK5_DEMO_SHOT=$shots/main_window_2x.png scripts/demo.sh
RK5_DEMO_SHOT=$shots/demo_download.png scripts/demo.sh /dl
