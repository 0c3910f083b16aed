#!/usr/bin/env bash
# Installing a tool end to end through the real program beside "curl -o" followed by
# "unzip -o -q" of the same archive, in the same run: nginx serves a 200 MiB, 2,000-file
# archive on loopback (and a 50 MiB, 500-file one, to show whether memory grows), and
# "rk5helper /dl Tool" fetches it through http_proxy, checks its SHA256 key when the
# section has one, unpacks it, moves it into place and records it in "Local.ini";
# build/bench/install_bench times that from the start of the program until the record is
# written and the staging folder gone. Both sides run into an empty folder and over the
# installation of the round before, and the big archive once more from a second nginx
# that sends at 100 Mbit/s (limit_rate), beside the download alone.
#   [RK5_BENCH_WHERE=/dev/shm] bench/install_bench.sh [build folder] [rounds]   (default: build, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
for bin in "$build/bench/install_bench" "$build/bench/extract_bench" "$build/rk5helper"; do
  [ -x "$bin" ] || { echo "build $bin first (scripts/build.sh $build)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=${RK5_BENCH_DIR:-/tmp/rk5-extract-bench}  # archives are made once and kept
mkdir -p "$work"

# RK5_BENCH_WHERE=/dev/shm measures in memory, apart from the disk's own cost.
scratch=$(mktemp -d "${RK5_BENCH_WHERE:-/tmp}/rk5-install-bench.XXXXXX")
chmod 755 "$scratch"
trap 'scripts/loopback_nginx.sh stop "$scratch"; scripts/loopback_nginx.sh stop "$scratch/slow"; rm -rf "$scratch"' EXIT

archive() {  # name MiB files: the same archives the extraction benchmark uses
  local zip=$work/$1.zip
  [ -f "$zip" ] || "$build/bench/extract_bench" make "$zip" "$2" "$3" >&2
  echo "$zip"
}
mkdir -p "$scratch/www"
cp "$(archive big 200 2000)" "$scratch/www/big.zip"
cp "$(archive quarter 50 500)" "$scratch/www/quarter.zip"
chmod 755 "$scratch/www"; chmod 644 "$scratch/www/"*.zip
port=$(scripts/loopback_nginx.sh start "$scratch/www" "$scratch")
# The same files at 100 Mbit/s, as a real network gives them.
mkdir -p "$scratch/slow"
slow_port=$(scripts/loopback_nginx.sh start "$scratch/www" "$scratch/slow" "" "" "limit_rate 12500000;")

# The program as installed: its folder below the tools' folder, its registry, its runtime
# folder; the proxy leads every fetch to nginx.
base=$scratch/opt/Rk5
program=$base/Helper
mkdir -p "$program" "$scratch/run" "$scratch/pair"
chmod 700 "$scratch/run"
cp "$build/rk5helper" "$program/"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Rk5Helper]\nPath=%s/\n' "$program" > "$scratch/registry.ini"
export RK5HELPER_REGISTRY=$scratch/registry.ini XDG_RUNTIME_DIR=$scratch/run
export QT_QPA_PLATFORM=offscreen http_proxy=http://127.0.0.1:$port
unset no_proxy NO_PROXY all_proxy ALL_PROXY
results=$scratch/results
build_number=1

# One installation by the program: who = ours|ours+sha, case = empty|over|slow (an empty
# folder, fetched at 100 Mbit/s).
ours() {
  local who=$1 case=$2 zip=$3 key=""
  build_number=$((build_number + 1))
  [ "$who" = "ours+sha" ] && key="SHA256=$(sha256sum "$scratch/www/$zip" | cut -d' ' -f1)"$'\r\n'
  [ "$case" != over ] && rm -rf "$base/Tool"
  local proxy=$http_proxy
  [ "$case" = slow ] && proxy=http://127.0.0.1:$slow_port
  printf '[Tool]\r\nName=Tool\r\nDL=http://bench.test/%s\r\nOBuild=%d\r\nBuild=1\r\n%s' \
    "$zip" "$build_number" "$key" > "$program/Local.ini"
  sync
  local line
  line=$(http_proxy=$proxy "$build/bench/install_bench" "$program/rk5helper" Tool "$build_number")
  echo "$who $case $zip $(echo "$line" | sed 's/seconds=\([^ ]*\) peak_kib=\(.*\)/\1 \2/')" >> "$results"
}

# The same archive by curl, then unzip, timed together; the peak is the larger one's. The
# download alone is recorded too, as "curl".
pair() {
  local case=$1 zip=$2 start mid end proxy=$http_proxy
  [ "$case" = slow ] && proxy=http://127.0.0.1:$slow_port
  [ "$case" != over ] && rm -rf "$scratch/pair/out"
  rm -f "$scratch/pair/$zip"
  sync
  start=$(date +%s.%N)
  http_proxy=$proxy /usr/bin/time -f '%M' -o "$scratch/m1" curl --http1.0 -s -o "$scratch/pair/$zip" "http://bench.test/$zip"
  mid=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$scratch/m2" unzip -o -q "$scratch/pair/$zip" -d "$scratch/pair/out"
  end=$(date +%s.%N)
  echo "curl $case $zip $(awk "BEGIN {print $mid - $start}") $(cat "$scratch/m1")" >> "$results"
  echo "pair $case $zip $(awk "BEGIN {print $end - $start}") $(sort -n "$scratch/m1" "$scratch/m2" | tail -1)" >> "$results"
}

for zip in big.zip quarter.zip; do
  for ((i = 0; i < rounds; i++)); do
    for case in empty over; do
      pair "$case" "$zip"
      ours ours "$case" "$zip"
      ours ours+sha "$case" "$zip"
    done
  done
done
# Throttled: the big archive only, at most 3 rounds (each download takes about 9 s).
for ((i = 0; i < (rounds < 3 ? rounds : 3); i++)); do
  pair slow big.zip
  ours ours slow big.zip
  ours ours+sha slow big.zip
done
if ! diff -r -q "$base/Tool" "$scratch/pair/out/Tool" >/dev/null; then
  echo "the program's installation and unzip's copy differ!" >&2
  exit 1
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "install end to end against curl + unzip, $rounds rounds, load average $(cut -d' ' -f1 /proc/loadavg)"
printf '%-9s %-6s %-12s %9s %9s %8s %10s\n' archive case who median best ratio "peak MiB"
for zip in big.zip quarter.zip; do
  for case in empty over slow; do
    [ "$case" = slow ] && [ "$zip" != big.zip ] && continue
    p=$(grep "^pair $case $zip" "$results" | cut -d' ' -f4 | median)
    for who in curl pair ours ours+sha; do
      times=$(grep "^$who $case $zip" "$results" | cut -d' ' -f4)
      med=$(echo "$times" | median)
      best=$(echo "$times" | sort -n | head -1)
      peak=$(grep "^$who $case $zip" "$results" | cut -d' ' -f5 | sort -n | tail -1)
      printf '%-9s %-6s %-12s %8.2fs %8.2fs %8.2f %10.1f\n' "$zip" "$case" "$who" "$med" "$best" \
        "$(awk "BEGIN {print $med / $p}")" "$(awk "BEGIN {print $peak / 1024}")"
    done
  done
done
# At 100 Mbit/s the download sets the pace: what counts is the time after its last byte.
c=$(grep "^curl slow big.zip" "$results" | cut -d' ' -f4 | median)
for who in pair ours ours+sha; do
  med=$(grep "^$who slow big.zip" "$results" | cut -d' ' -f4 | median)
  printf 'throttled: %-9s %.2fs after the download alone (%.2fs), %.2f x it\n' "$who" \
    "$(awk "BEGIN {print $med - $c}")" "$c" "$(awk "BEGIN {print $med / $c}")"
done
