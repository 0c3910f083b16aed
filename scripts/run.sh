#!/usr/bin/env bash
# Builds the program and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build >/dev/null
exec build/rk5helper "$@"
