#!/usr/bin/env bash
# The demo: builds the program, publishes the sample catalogue with rk5helper-publish and
# signs it with a throwaway minisign key pinned in the program's "Settings.ini", serves
# catalogue and tools from nginx on
# loopback, prepares a scratch program folder and registry so that the run lands in the
# main window, and starts it, reaching the server through http_proxy. On a machine
# without a display it runs under Xvfb, presses Refresh, selects a row and saves a
# screenshot (docs/screenshots/main_window.png, or the path in RK5_DEMO_SHOT) instead.
#
#   scripts/demo.sh /dl [Section]   installs one tool of the catalogue (default PortScan)
# through the download mode, as the main window's Download starts it: the window fetches
# the archive, checks its SHA256 key from the signed catalogue, unpacks it beside the
# program folder and records it;
# the main window then shows the tool installed. Without a display: under Xvfb, with a
# screenshot of the finished download (docs/screenshots/demo_download.png, or RK5_DEMO_SHOT).
set -euo pipefail
mode=${1:-}
tool=${2:-PortScan}
cd "$(dirname "$0")/.."
top=$PWD
scripts/setup.sh
scripts/build.sh build >/dev/null

scratch=$(mktemp -d /tmp/rk5-demo.XXXXXX)
chmod 755 "$scratch"  # nginx's workers run as another user
host=tools.rk5helper.example
xvfb_pid=
cleanup() {
  scripts/loopback_nginx.sh stop "$scratch" || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
# A private Xvfb display for runs without one; cleanup stops it.
private_display() {
  local display=:$(( 90 + RANDOM % 400 ))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

# The publisher's server: the catalogue and its signature, one archive and one licence
# text per tool.
www=$scratch/www
mkdir -p "$www/zip" "$www/licence"
cp build/demo/zip/*.zip "$www/zip/"
for folder in demo/tools/*/; do
  name=$(basename "$folder")
  cp "$folder/licence.txt" "$www/licence/$(echo "$name" | tr 'A-Z' 'a-z').txt"
done
# The publisher's side: a throwaway key, the catalogue published from the template and the
# archives (every SHA-256 digest computed, which the download checks), then signed.
minisign -G -W -p "$scratch/demo.pub" -s "$scratch/demo.key" >/dev/null
sed "s/@HOST@/$host/g" demo/rk5h.ini > "$scratch/template.ini"
build/rk5helper-publish --template "$scratch/template.ini" --archives build/demo/zip \
  --output "$www/rk5h.ini" --secret-key "$scratch/demo.key" --sign >/dev/null
port=$(scripts/loopback_nginx.sh start "$www" "$scratch")

# The installed program: its folder, its files beside it, and the registry naming it.
tools=$scratch/opt/Rk5
program=$tools/Helper
mkdir -p "$program" "$scratch/Desktop"
cp build/rk5helper "$program/"
# The key pinned: the program takes only catalogues that this key signed.
printf '[Server]\r\nURL=http://%s/rk5h.ini\r\nPublicKey=%s\r\n' "$host" "$(sed -n 2p "$scratch/demo.pub")" \
  > "$program/Settings.ini"
sed "s#@TOOLS@#$tools#g" demo/Local.ini > "$program/Local.ini"
for installed in HexView LogTail; do
  mkdir -p "$tools/$installed"
  cp -p demo/tools/$installed/* "$tools/$installed/"
done
cat > "$scratch/registry.ini" <<REG
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]
Path=$program/
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]
ProgramFilesDir=$scratch/opt
[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]
Desktop=$scratch/Desktop
REG
export RK5HELPER_REGISTRY=$scratch/registry.ini
export http_proxy=http://127.0.0.1:$port no_proxy= NO_PROXY=
echo "demo: catalogue at http://$host/rk5h.ini (nginx on 127.0.0.1:$port), program in $program" >&2

if [ "$mode" = /dl ]; then
  # As after a refresh: "Local.ini" holds the whole catalogue, so every tool is offered,
  # and the signed catalogue lies beside the program, which the download checks again.
  cp "$www/rk5h.ini" "$program/Local.ini"
  cp "$www/rk5h.ini" "$www/rk5h.ini.minisig" "$program/"
  grep -q "^\[$tool\]" "$program/Local.ini" || { echo "demo: no tool [$tool] in the catalogue" >&2; exit 2; }
  if [ -n "${DISPLAY:-}" ] && [ -z "${RK5_DEMO_SHOT:-}" ]; then
    "$program/rk5helper" /dl "$tool"
    echo "demo: installed into $tools/$tool:" >&2
    ls -l "$tools/$tool" >&2 || true
    "$program/rk5helper"
    exit 0
  fi
  shot=${RK5_DEMO_SHOT:-$top/docs/screenshots/demo_download.png}
  mkdir -p "$(dirname "$shot")"
  private_display
  QT_QPA_PLATFORM=xcb "$program/rk5helper" /dl "$tool" 2>/dev/null &
  app_pid=$!
  window=$(xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1)
  for _ in $(seq 300); do grep -q '^Installed=1' "$program/Local.ini" && break; sleep 0.1; done
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
  build/demo/screen_grab "$shot" "$X" "$Y" "$WIDTH" "$HEIGHT"
  xdotool mousemove $((X + 248)) $((Y + 94)) click 1  # OK
  wait "$app_pid" 2>/dev/null || true
  echo "demo: $tool installed into $tools/$tool; screenshot saved to $shot" >&2
  ls "$tools/$tool" >&2
  exit 0
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${RK5_DEMO_SHOT:-}" ]; then
  "$program/rk5helper"
  exit 0
fi

# No display: run under Xvfb, press Refresh, select the outdated row, take the picture.
shot=${RK5_DEMO_SHOT:-$top/docs/screenshots/main_window.png}
mkdir -p "$(dirname "$shot")"
private_display
QT_QPA_PLATFORM=xcb "$program/rk5helper" 2>/dev/null &
app_pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Rk5 Helper$' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
xdotool mousemove $((X + 44)) $((Y + 248)) click 1   # Refresh
for _ in $(seq 100); do grep -q 'rk5h.ini' "$scratch/nginx/access.log" 2>/dev/null && break; sleep 0.1; done
sleep 1
xdotool mousemove $((X + 150)) $((Y + 56 + 34 + 17)) click 1  # the second row
sleep 0.5
build/demo/screen_grab "$shot" "$X" "$Y" "$WIDTH" "$HEIGHT"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
echo "demo: screenshot after a refresh saved to $shot" >&2
