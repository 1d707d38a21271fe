#!/usr/bin/env bash
# The launcher's own processes against the floor of a process and against shell scripts doing
# the same jobs (bench/*.sh): --help, a refused launch, a launch and a stop. Run by scripts/bench.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/rows.sh

work=$(mktemp -d /tmp/qs-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir -p "$work/home" "$work/empty" "$work/config/quantelspire-mcp" "$work/layer"
chmod 700 "$work/home" "$work/config"
install -m 600 /dev/null "$work/config/quantelspire-mcp/config.toml"
printf '[apps.libreoffice-writer]\nenabled = true\n' >"$work/config/quantelspire-mcp/config.toml"
install -m 644 /dev/null "$work/uno_bridge.py"
# Fake children: LibreOffice returns at once; the bridge stays until SIGTERM, as a bridge does.
ln -s "$build/bench/exit_at_once" "$work/layer/soffice"
ln -s "$build/bench/wait_for_term" "$work/layer/python3"
# The same jobs done by the shell (bench/*.sh, given the work folder).
baseline() { echo "/bin/sh $PWD/bench/$1 $work"; }
environment=(env -i "HOME=$work/home" PATH=/usr/bin:/bin "QUANTELSPIRE_RUNTIME_DIR=$work/run")

read -r a b ratio _ < <("$alternate" "$samples" --a "$launcher --help" --b /bin/true)
row "--help vs /bin/true (us)" "$a" "$b" "$ratio" "<= 1.2" "$(verdict "$ratio" 1.2 max)"

read -r a b ratio _ < <("$alternate" "$samples" --a "$build/bench/launcher_dynamic --help" \
  --b /bin/true)
row "--help, dynamic glibc, vs /bin/true (us)" "$a" "$b" "$ratio" "<= 2.0" \
  "$(verdict "$ratio" 2.0 max)"

read -r a b ratio _ < <("${environment[@]}" "QUANTELSPIRE_CONFIG_DIR=$work/empty" "$alternate" \
  "$samples" --a "$launcher libreoffice --bridge-file $work/uno_bridge.py" --b /bin/true)
row "refused launch vs /bin/true (us)" "$a" "$b" "$ratio" "<= 1.3" "$(verdict "$ratio" 1.3 max)"

if [ "$(id -u)" -eq 0 ]; then
  in_namespace() {  # the fakes over /usr/bin, in a private mount namespace
    unshare --mount --propagation private sh -c '
      mount -t overlay qs-bench -o "lowerdir=$1:/usr/bin" /usr/bin || exit 1
      shift
      exec "$@"' sh "$work/layer" "${environment[@]}" "QUANTELSPIRE_CONFIG_DIR=$work/config" "$@"
  }
  launch="$launcher libreoffice --bridge-file $work/uno_bridge.py"
  read -r a b ratio rss < <(in_namespace "$alternate" "$samples" --a "$launch" \
    --b "$(baseline launch_recorded.sh)")
  row "launch vs shell script doing its job (us)" "$a" "$b" "$ratio" "<= 0.5" \
    "$(verdict "$ratio" 0.5 max)"
  row "peak RSS of a launch (KiB)" "$rss" "" "" "<= 2048" "$(verdict "$rss" 2048 max)"
  read -r a b ratio _ < <(in_namespace "$alternate" "$samples" --a "$launch" \
    --b "$(baseline launch_started.sh)")
  row "launch vs shell script only starting (us)" "$a" "$b" "$ratio" "" "information"
  read -r a b ratio _ < <(in_namespace "$alternate" "$samples" --a-before "$launch" \
    --a "$launcher libreoffice --stop" --b-before "$(baseline start_bridge.sh)" \
    --b "$(baseline stop.sh)")
  row "stop vs shell script (us)" "$a" "$b" "$ratio" "<= 1.0" "$(verdict "$ratio" 1.0 max)"
else
  echo "launch + stop: skipped (a private mount namespace needs root)"
fi
