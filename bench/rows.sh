# Sourced by the benchmark parts: where the build is, and how a row of the table is printed.
build=$QS_BENCH_BUILD
samples=$QS_BENCH_SAMPLES
launcher=$build/quantelspire-launch
alternate=$build/bench/alternate
row() {  # name launcher baseline ratio target verdict
  printf '%-44s %12s %12s %8s %10s  %s\n' "$@"
}
verdict() { awk -v v="$1" -v t="$2" -v dir="$3" 'BEGIN {
  ok = (dir == "max") ? (v <= t) : (v >= t); print ok ? "meets" : "misses" }'; }
