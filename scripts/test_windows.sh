#!/usr/bin/env bash
# The Windows variant of the platform layer and the INI engine: cross-built with MinGW-w64
# (windows/, into build-windows/) and run under Wine in a scratch prefix made here and
# removed afterwards. Installs the Windows tools (about 700 MB) when missing, for this
# stage only. RK5_INI_SEED and RK5_INI_STEPS choose the INI comparison's sequence.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows: installing ${missing[*]}" >&2
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >/dev/null
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

seconds() { date +%s; }
start=$(seconds)
build=build-windows
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S windows -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C "$build" -j "$(nproc)" > "$build/ninja.log" 2>&1 || { cat "$build/ninja.log" >&2; exit 1; }
built=$(seconds)

# Mono and Gecko cannot be downloaded here; nothing tested needs them.
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
WINEPREFIX=$(mktemp -d /tmp/rk5-wine.XXXXXX)
export WINEPREFIX
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
cleanup() {
  wineserver -k >/dev/null 2>&1 || true  # this prefix's server only
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
booted=$(seconds)

passed=0
run_suite() {
  local log
  log=$(mktemp)
  if ! "$wine" "$build/$1" 2>&1 | tee "$log"; then
    rm -f "$log"
    return 1
  fi
  local count
  count=$(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p')
  passed=$((passed + ${count:-0}))
  rm -f "$log"
}
run_suite rk5_win32_tests.exe
run_suite rk5_ini_tests.exe

mkdir -p "$WINEPREFIX/drive_c/rk5-ini"
"$wine" "$build/rk5_ini_compare.exe" 'C:\rk5-ini' "${RK5_INI_SEED:-20261208}" "${RK5_INI_STEPS:-5000}"
passed=$((passed + 1))
done_at=$(seconds)

echo "windows: build $((built - start)) s, prefix $((booted - built)) s, tests $((done_at - booted)) s"
echo "windows: $passed passed, 0 failed"
