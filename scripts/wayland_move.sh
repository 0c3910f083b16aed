#!/usr/bin/env bash
# Moves the main window under a Wayland compositor, as a user drags its band: weston's
# X11 back end runs inside a private Xvfb (its headless back end has no input device),
# the program runs on it with QT_QPA_PLATFORM=wayland, xdotool presses on the band and
# drags; the compositor's own scene graph (weston --debug, weston-debug) tells where the
# window is before and after, and weston-screenshooter takes the screen each time into the
# folder given (default /tmp/rk5helper-wayland): before.png, after.png, weston.log.
# Needs weston and qt6-wayland; uses build/rk5helper.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-/tmp/rk5helper-wayland}
mkdir -p "$out"
scratch=$(mktemp -d /tmp/rk5-wayland.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$scratch/run
mkdir -m 700 "$XDG_RUNTIME_DIR"

display=:$(( 500 + RANDOM % 400 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
weston --backend=x11-backend.so --width=1000 --height=800 --socket=rk5 --debug --idle-time=0 \
  >"$out/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'x11 output .*window id' "$out/weston.log" && break; sleep 0.1; done
output=$(sed -n 's/.*x11 output .*window id \([0-9]*\).*/\1/p' "$out/weston.log" | head -n 1)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/rk5" ] && break; sleep 0.1; done

# A program folder the registry names, so that the run opens the main window.
mkdir -p "$scratch/prog"
cp build/rk5helper "$scratch/prog/"
printf '[HexView]\r\nName=HexView\r\nBy=Northwind Tools\r\nOBuild=3\r\nOVersion=1.3\r\n' >"$scratch/prog/Local.ini"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=%s/prog/\n' "$scratch" >"$scratch/registry.ini"
RK5HELPER_REGISTRY=$scratch/registry.ini WAYLAND_DISPLAY=rk5 QT_QPA_PLATFORM=wayland \
  "$scratch/prog/rk5helper" >"$out/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
shot() {
  rm -f "$scratch"/wayland-screenshot-*.png
  (cd "$scratch" && WAYLAND_DISPLAY=rk5 weston-screenshooter)
  mv "$scratch"/wayland-screenshot-*.png "$out/$1"
}
# Where the compositor shows the program's window: "x y" of its top-left corner.
window_at() {
  WAYLAND_DISPLAY=rk5 timeout 5 weston-debug scene-graph 2>/dev/null |
    grep -A1 "PID $program_pid, .*top-level window 'Rk5 Helper'" |
    sed -n 's/.*position: (\([0-9-]*\), \([0-9-]*\)).*/\1 \2/p' | head -n 1
}
for _ in $(seq 100); do [ -n "$(window_at)" ] && break; sleep 0.1; done
read -r x0 y0 <<<"$(window_at)"
sleep 1  # the compositor gives no sign that a client's first frame is up
shot before.png
x=$((x0 + 150)) y=$((y0 + 12))  # a point of the band
xdotool mousemove --window "$output" "$x" "$y" mousedown 1 sleep 0.3 \
  mousemove --window "$output" $((x + 50)) $((y + 20)) sleep 0.2 \
  mousemove --window "$output" $((x + 200)) $((y + 120)) sleep 0.3 mouseup 1
sleep 1
shot after.png
read -r x1 y1 <<<"$(window_at)"
echo "wayland: window at $x0,$y0; pressed on its band and dragged by +200,+120;" \
  "window now at $x1,$y1 (pictures in $out)" >&2
[ "$x1" -eq $((x0 + 200)) ] && [ "$y1" -eq $((y0 + 120)) ]
