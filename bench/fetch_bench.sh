#!/usr/bin/env bash
# Fetch throughput and peak memory: a 256 MiB file (and a 16 MiB one, to show that memory
# does not grow with the size) served by nginx on loopback, fetched through http_proxy by
# the curl tool and by THttpFetch without and with a progress handler driving a TGauge.
#   bench/fetch_bench.sh [build-folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
bench=$build/bench/fetch_bench
[ -x "$bench" ] || { echo "build $bench first (scripts/build.sh $build)" >&2; exit 1; }

scratch=$(mktemp -d /tmp/rk5-fetch-bench.XXXXXX)
chmod 755 "$scratch"
mkdir -p "$scratch/www"
trap 'scripts/loopback_nginx.sh stop "$scratch"; rm -rf "$scratch"' EXIT
head -c $((256 * 1024 * 1024)) /dev/urandom > "$scratch/www/big.bin"
head -c $((16 * 1024 * 1024)) /dev/urandom > "$scratch/www/small.bin"
chmod 755 "$scratch/www"; chmod 644 "$scratch/www/"*.bin
port=$(scripts/loopback_nginx.sh start "$scratch/www" "$scratch")
export http_proxy=http://127.0.0.1:$port
unset no_proxy NO_PROXY all_proxy ALL_PROXY
out=$scratch/out.bin

# Peak resident size in KiB of one command, from GNU time.
peak() { /usr/bin/time -f '%M' -o "$scratch/rss" "$@" > "$scratch/stdout"; cat "$scratch/rss"; }

echo "file: 256 MiB; runs: $runs; MB = 10^6 bytes"
for run in $(seq "$runs"); do
  kib=$(peak curl --http1.0 -s -o "$out" -w '%{size_download} %{time_total}\n' http://bench.test/big.bin)
  read -r bytes seconds < "$scratch/stdout"
  cmp -s "$out" "$scratch/www/big.bin" || { echo "curl: wrong bytes" >&2; exit 1; }
  awk -v b="$bytes" -v s="$seconds" -v k="$kib" -v r="$run" \
    'BEGIN { printf "curl   run %d: %7.1f MB/s  peak %6.1f MiB\n", r, b / s / 1e6, k / 1024 }'
  for mode in plain gauge; do
    kib=$(peak "$bench" http://bench.test/big.bin "$out" "$mode")
    cmp -s "$out" "$scratch/www/big.bin" || { echo "$mode: wrong bytes" >&2; exit 1; }
    awk -v k="$kib" -v r="$run" -v m="$mode" '{ split($5, speed, "="); split($6, calls, "=");
      printf "%-6s run %d: %7.1f MB/s  peak %6.1f MiB  progress calls %s\n", m, r, speed[2], k / 1024, calls[2] }' \
      "$scratch/stdout"
  done
done
idle=$(peak "$bench" http://bench.test/big.bin "$out" idle)
small_plain=$(peak "$bench" http://bench.test/small.bin "$out" plain)
small_gauge=$(peak "$bench" http://bench.test/small.bin "$out" gauge)
awk -v i="$idle" -v p="$small_plain" -v g="$small_gauge" 'BEGIN {
  printf "idle process (window, no fetch): peak %.1f MiB\n", i / 1024;
  printf "16 MiB file: plain peak %.1f MiB, gauge peak %.1f MiB\n", p / 1024, g / 1024 }'
