#!/usr/bin/env bash
# Configures (once) and builds one build folder. Usage: build.sh <folder> [cmake options...]
# RK5_BUILD_TARGETS names the targets to build instead of all of them.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
if [ ! -f "$dir/CMakeCache.txt" ]; then
  # ccache, where installed, lets several build folders (and work trees) share objects.
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
fi
targets=()
[ -n "${RK5_BUILD_TARGETS:-}" ] && targets=(--target $RK5_BUILD_TARGETS)
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
