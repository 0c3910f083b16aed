#!/usr/bin/env bash
# Unpacks the same Deflate archive with TArchiveExtractor and with Info-ZIP "unzip -o -q",
# into an empty folder and over an existing copy, several rounds, and prints the median
# wall time and peak memory of each. A quarter-size archive shows whether peak memory
# grows with the archive.
# Usage: bench/extract_bench.sh [build folder] [rounds]   (default: build, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
bin=$build/bench/extract_bench
work=${RK5_BENCH_DIR:-/tmp/rk5-extract-bench}
mkdir -p "$work"
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }

archive() {  # name MiB files
  local zip=$work/$1.zip
  if [ ! -f "$zip" ]; then
    echo "making $zip ($2 MiB, $3 files)..." >&2
    "$bin" make "$zip" "$2" "$3"
  fi
  echo "$zip"
}

# Prints "seconds peak-KiB" of one command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null
  cat "$work/time.txt"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run() {  # zip label
  local zip=$1 label=$2
  cat "$zip" >/dev/null  # the archive in the page cache for both
  local ours=$work/ours unz=$work/unzip
  : >"$work/o_empty"; : >"$work/o_over"; : >"$work/u_empty"; : >"$work/u_over"
  : >"$work/o_mem"; : >"$work/u_mem"
  for ((i = 0; i < rounds; i++)); do
    rm -rf "$ours" "$unz"; mkdir -p "$ours" "$unz"; sync
    read -r t m < <(measure "$bin" extract "$zip" "$ours"); echo "$t" >>"$work/o_empty"; echo "$m" >>"$work/o_mem"
    read -r t m < <(measure unzip -o -q "$zip" -d "$unz"); echo "$t" >>"$work/u_empty"; echo "$m" >>"$work/u_mem"
    sync
    read -r t m < <(measure "$bin" extract "$zip" "$ours"); echo "$t" >>"$work/o_over"
    read -r t m < <(measure unzip -o -q "$zip" -d "$unz"); echo "$t" >>"$work/u_over"
  done
  if ! diff -r -q "$ours" "$unz" >/dev/null; then echo "the two copies differ!" >&2; exit 1; fi
  local oe oo ue uo om um
  oe=$(median <"$work/o_empty"); oo=$(median <"$work/o_over")
  ue=$(median <"$work/u_empty"); uo=$(median <"$work/u_over")
  om=$(median <"$work/o_mem"); um=$(median <"$work/u_mem")
  printf '%-22s %-12s %8s s %8s s %6.2f x\n' "$label" "empty folder" "$oe" "$ue" "$(awk "BEGIN {print $oe / $ue}")"
  printf '%-22s %-12s %8s s %8s s %6.2f x\n' "$label" "over a copy" "$oo" "$uo" "$(awk "BEGIN {print $oo / $uo}")"
  printf '%-22s %-12s %8s KiB %6s KiB\n' "$label" "peak memory" "$om" "$um"
  rm -rf "$ours" "$unz"
}

big=$(archive big 200 2000)
small=$(archive quarter 50 500)
printf '%-22s %-12s %10s %10s %8s\n' "archive" "case" "ours" "unzip" "ratio"
run "$big" "200 MiB, 2000 files"
run "$small" "50 MiB, 500 files"
