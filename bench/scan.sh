#!/usr/bin/env bash
# The /proc scan against pgrep, on the machine's process table and with 2000 more processes, its
# system calls per process, and the in-process costs around it. Run by scripts/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/rows.sh
work=$(mktemp -d /tmp/qs-bench-XXXXXX)
sleepers=()
cleanup() {
  [ "${#sleepers[@]}" -eq 0 ] || kill "${sleepers[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

scan_us() {  # median time of one scan (or $1), through Google Benchmark
  "$build/bench/scan_bench" --benchmark_filter="${1:-BM_find_soffice_processes}" \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json 2>/dev/null | /usr/bin/python3 bench/median_of.py
}
pgrep_us() { "$alternate" "$samples" --a "/usr/bin/pgrep -x soffice.bin" --b /bin/true | cut -d' ' -f1; }
processes() { find /proc -maxdepth 1 -name '[0-9]*' | wc -l; }
syscalls() {  # system calls of one scan (as user $1): with it, minus the same program without it
  local with without
  with=$(strace -f -c -u "$1" -o "$work/strace" "$build/bench/scan_once" && awk '$NF == "total" {print $4}' "$work/strace")
  without=$(strace -f -c -u "$1" -o "$work/strace" "$build/bench/scan_once" none &&
    awk '$NF == "total" {print $4}' "$work/strace")
  echo $((with - without))
}
per_entry() {  # the slope between the two process counts: fixed costs cancel out
  awk -v a="$1" -v b="$2" -v n="$3" -v m="$4" 'BEGIN {printf "%.2f", (b - a) / (m - n)}'
}

row "two port checks, in process (us)" "$(scan_us BM_two_port_checks)" "" "" "" ""
room=$(scan_us BM_lock_and_record_room)
row "lock and record room, in process (us)" "$room" "" "" "<= 50" "$(verdict "$room" 50 max)"
if [ "$(id -u)" -eq 0 ] && [ -e /dev/fuse ] && command -v bindfs >/dev/null; then
  # The fallback where unnamed files are refused: a named temporary on FUSE (bindfs over /tmp).
  mkdir -p "$work/backing" "$work/fuse"
  room=$(unshare --mount --propagation private bash -c 'bindfs "$1" "$2" || exit 1
    QS_BENCH_RUNTIME=$2 "$3/bench/scan_bench" --benchmark_filter=BM_lock_and_record_room \
      --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
      --benchmark_format=json 2>/dev/null | /usr/bin/python3 bench/median_of.py
    umount "$2"' _ "$work/backing" "$work/fuse" "$build")
  row "lock and record room on FUSE, in process (us)" "$room" "" "" "" "information"
fi

scan_row() {  # the scan against pgrep on the process table as it is; sets count and scan
  count=$(processes)
  scan=$(scan_us)
  local pgrep ratio
  pgrep=$(pgrep_us)
  ratio=$(awk -v p="$pgrep" -v s="$scan" 'BEGIN {printf "%.1f", p / s}')
  row "scan vs pgrep, $count processes (us)" "$scan" "$pgrep" "${ratio}x" ">= 10x" \
    "$(verdict "$ratio" 10 min)"
}

scan_row
base_count=$count base_scan=$scan

me=$(id -un)
own_base=$(syscalls "$me")
[ "$(id -u)" -ne 0 ] || other_base=$(syscalls nobody)

for _ in $(seq 2000); do
  sleep 600 &
  sleepers+=($!)
done
scan_row
big_count=$count big_scan=$scan
growth=$(awk -v a="$base_scan" -v n="$base_count" -v b="$big_scan" -v m="$big_count" \
  'BEGIN {printf "%.2f", (b / m) / (a / n)}')
row "per-process scan cost, large / base" "" "" "$growth" "<= 1.5" "$(verdict "$growth" 1.5 max)"
per=$(per_entry "$own_base" "$(syscalls "$me")" "$base_count" "$big_count")
row "system calls per process of the user" "$per" "" "" "<= 6" "$(verdict "$per" 6 max)"
if [ "$(id -u)" -eq 0 ]; then
  # The extra processes are root's: for nobody they are another user's.
  per=$(per_entry "$other_base" "$(syscalls nobody)" "$base_count" "$big_count")
  row "system calls per process of another user" "$per" "" "" "<= 1" "$(verdict "$per" 1 max)"
fi
kill "${sleepers[@]}" 2>/dev/null || true
wait 2>/dev/null || true
sleepers=()
