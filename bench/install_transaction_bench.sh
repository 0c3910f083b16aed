#!/usr/bin/env bash
# The install transaction on the deep and the wide archive, beside "unzip -o -q" of the same
# archive into an empty folder of the same file system, in the same run: once in /tmp (the
# disk) and once in /dev/shm (memory), so that the file system's own cost shows apart.
#   bench/install_transaction_bench.sh [build folder] [rounds]   (default: build, 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-3}
bench=$build/bench/install_transaction_bench
[ -x "$bench" ] || { echo "build $bench first (scripts/build.sh $build)" >&2; exit 1; }
command -v unzip >/dev/null || { echo "needs unzip (Debian package unzip)" >&2; exit 1; }

for where in /tmp /dev/shm; do
  scratch=$(mktemp -d "$where/rk5-transaction-bench.XXXXXX")
  for round in $(seq "$rounds"); do
    for shape in deep wide; do
      line=$(TMPDIR=$where "$bench" "$shape" "$([ $shape = deep ] && echo 1900 || echo 100000)" \
        "$scratch/$shape.zip")
      mkdir "$scratch/out"
      start=$(date +%s%N)
      (cd "$scratch/out" && unzip -o -q "../$shape.zip") || echo "unzip failed" >&2
      took=$(( ($(date +%s%N) - start) / 1000000 ))
      rm -rf "$scratch/out" "$scratch/$shape.zip"
      printf '%s round %d: %s | unzip -o -q %d ms\n' "$where" "$round" "$line" "$took"
    done
  done
  rm -rf "$scratch"
done
