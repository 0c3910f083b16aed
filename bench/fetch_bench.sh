#!/usr/bin/env bash
# Fetch throughput and peak memory: a 256 MiB file (and a 16 MiB one, to show that memory
# does not grow with the size) served by nginx on loopback, fetched through http_proxy by
# the curl tool and by THttpFetch without and with a progress handler driving a TGauge,
# alternating in each round.
#   bench/fetch_bench.sh [build-folder] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
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
export http_proxy=http://127.0.0.1:$port QT_QPA_PLATFORM=offscreen
unset no_proxy NO_PROXY all_proxy ALL_PROXY
out=$scratch/out.bin
results=$scratch/results

# Runs one fetch of `file` by `who`; appends "who file MB/s peak-KiB" to the results.
measure() {
  local who=$1 file=$2 speed
  if [ "$who" = curl ]; then
    /usr/bin/time -f '%M' -o "$scratch/rss" curl --http1.0 -s -o "$out" \
      -w '%{size_download} %{time_total}\n' "http://bench.test/$file" > "$scratch/stdout"
    speed=$(awk '{ printf "%.1f", $1 / $2 / 1e6 }' "$scratch/stdout")
  else
    /usr/bin/time -f '%M' -o "$scratch/rss" "$bench" "http://bench.test/$file" "$out" "$who" \
      > "$scratch/stdout" 2>/dev/null
    speed=$(sed -n 's/.* MBps=\([0-9.]*\).*/\1/p' "$scratch/stdout")
  fi
  cmp -s "$out" "$scratch/www/$file" || { echo "$who: wrong bytes" >&2; exit 1; }
  echo "$who $file $speed $(cat "$scratch/rss")" >> "$results"
}

for round in $(seq "$rounds"); do
  for who in curl plain gauge; do measure "$who" big.bin; done
done
for who in plain gauge; do measure "$who" small.bin; done
/usr/bin/time -f '%M' -o "$scratch/rss" "$bench" - "$out" idle 2>/dev/null
idle=$(cat "$scratch/rss")

echo "256 MiB through nginx on loopback, $rounds rounds, load average $(cut -d' ' -f1 /proc/loadavg)"
echo "who     median MB/s   best MB/s   range         peak MiB (256 MiB / 16 MiB file)"
for who in curl plain gauge; do
  grep "^$who big.bin" "$results" | sort -k3 -n | awk -v who="$who" -v idle="$idle" \
    -v small="$(grep "^$who small.bin" "$results" | cut -d' ' -f4)" '
    { speed[NR] = $3; peak = ($4 > peak) ? $4 : peak }
    END {
      median = (NR % 2) ? speed[(NR + 1) / 2] : (speed[NR / 2] + speed[NR / 2 + 1]) / 2
      printf "%-7s %10.1f %11.1f   %5.1f-%-6.1f  %6.1f / %s\n", who, median, speed[NR],
        speed[1], speed[NR], peak / 1024, small == "" ? "-" : sprintf("%.1f", small / 1024)
    }'
done
awk -v i="$idle" 'BEGIN { printf "idle process (QApplication, shown window with a TGauge): peak %.1f MiB\n", i / 1024 }'
