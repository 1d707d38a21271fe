#!/usr/bin/env bash
# The launcher where it lives: a desktop session in which LibreOffice is launched with the
# example bridge, the user opens their own document in it, the bridge sees that document, and
# the stop ends the bridge while LibreOffice and its window stay; a bridge whose LibreOffice is
# closed ends by itself. Every step has a deadline; what the story started is ended and removed
# on every path.
#
# Usage: desktop_story.sh LAUNCHER x11|wayland|session [SCREENSHOT.png]
#   x11      a private X server (Xvfb) that picks its own display
#   wayland  a private headless Wayland compositor (weston) in a private XDG_RUNTIME_DIR
#   session  the caller's own DISPLAY or WAYLAND_DISPLAY (the demo on a desktop)
# Exit status 0 when the story holds, 77 when the programs it needs are not installed.
set -euo pipefail
launcher=$1
system=$2
screenshot=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
bridge_source=$here/../../examples/uno_bridge.py

need() {  # the files the story needs, or it is skipped
  local file
  for file; do [ -e "$file" ] || { echo "skipped: $file is not installed"; exit 77; }; done
}
need /usr/bin/soffice /usr/bin/python3
/usr/bin/python3 -c 'import uno' 2>/dev/null || { echo "skipped: python3-uno is not installed"; exit 77; }
case $system in
  x11) need /usr/bin/Xvfb /usr/bin/xdotool ;;
  wayland) need /usr/bin/weston /usr/lib/libreoffice/program/libvclplug_gtk3lo.so ;;
  session) [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}" ] || { echo "no DISPLAY or WAYLAND_DISPLAY" >&2; exit 2; } ;;
  *) echo "usage: desktop_story.sh LAUNCHER x11|wayland|session [SCREENSHOT.png]" >&2; exit 2 ;;
esac

work=$(mktemp -d /tmp/qs-desktop-XXXXXX)
chmod 755 "$work"
server_pid=
soffice_pid=
end_group() {  # SIGTERM to a process group; SIGKILL when it is still there 10 s later
  [ -n "$1" ] || return 0
  kill -TERM -- "-$1" 2>/dev/null || return 0
  for _ in $(seq 1 100); do
    kill -0 -- "-$1" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL -- "-$1" 2>/dev/null || true
}
cleanup() {
  # LibreOffice by its process group (the launched /usr/bin/soffice leads it), then the server.
  end_group "$soffice_pid"
  end_group "$server_pid"
  rm -rf "$work"  # the document's lock file included
}
trap cleanup EXIT

started=$(date +%s%N)
step() {
  local ms=$((($(date +%s%N) - started) / 1000000))
  printf '[%3d.%ds] %s\n' $((ms / 1000)) $((ms % 1000 / 100)) "$*"
}
fail() { echo "FAILED: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
within() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# --- The desktop session -------------------------------------------------------------------------
session_env=()
case $system in
  x11)
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" \
      >"$work/xvfb.log" 2>&1 &
    server_pid=$!
    within 10 test -s "$work/display" || fail "Xvfb chose no display"
    export DISPLAY=":$(cat "$work/display")"
    session_env=("DISPLAY=$DISPLAY")
    ;;
  wayland)
    export XDG_RUNTIME_DIR=$work/xdg
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export WAYLAND_DISPLAY=qs-story
    setsid weston --backend=headless-backend.so --use-pixman --width=1280 --height=800 \
      --socket="$WAYLAND_DISPLAY" --idle-time=0 --no-config --debug >"$work/weston.log" 2>&1 &
    server_pid=$!
    within 10 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start"
    session_env=("XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "WAYLAND_DISPLAY=$WAYLAND_DISPLAY")
    ;;
  session)
    for name in DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR; do
      [ -z "${!name:-}" ] || session_env+=("$name=${!name}")
    done
    ;;
esac
step "desktop session: ${session_env[*]}"

# Whether the windows on screen can be listed: on our own servers, and on an X11 desktop.
# (A desktop's own Wayland compositor cannot be asked.)
can_see_windows() {
  [ "$system" != session ] || { [ -n "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }
}

# The top-level windows on screen, one title per line. There is no window manager on our own
# servers: windows are found by what they are, never as "the active window".
windows() {
  if [ "$system" = wayland ]; then
    timeout 10 weston-debug scene-graph 2>/dev/null |
      sed -n "s/.*role xdg_toplevel, .*top-level window '\(.*\)' of .*/\1/p"
  else
    local id
    for id in $(timeout 10 xdotool search --onlyvisible --class '.' 2>/dev/null); do
      timeout 10 xdotool getwindowname "$id"
    done
  fi
}

# --- The user's files ------------------------------------------------------------------------------
home=$work/home
config=$work/config/quantelspire-mcp
mkdir -p -m 700 "$home" "$work/config" "$config" "$work/run"
read -r uno_port bridge_port < <(/usr/bin/python3 -c '
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in sockets))')
install -m 600 /dev/null "$config/config.toml"
printf '[apps.libreoffice-writer]\nenabled = true\nuno_port = %s\nbridge_port = %s\n' \
  "$uno_port" "$bridge_port" >"$config/config.toml"
install -m 600 /dev/null "$config/token"
/usr/bin/python3 -c 'import secrets; print(secrets.token_hex(16))' >"$config/token"
install -m 644 "$bridge_source" "$work/uno_bridge.py"

run() {  # the launcher, with the environment a desktop session gives it
  env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "${session_env[@]}" \
    QUANTELSPIRE_CONFIG_DIR="$work/config" QUANTELSPIRE_RUNTIME_DIR="$work/run" "$launcher" "$@"
}
ask() {  # one request to the bridge, after the token (empty without a file); prints the answer
  /usr/bin/python3 - "$bridge_port" "$config/token" "$1" <<'PY'
import socket, sys
port, token_path, request = int(sys.argv[1]), sys.argv[2], sys.argv[3]
try:
    with open(token_path, "rb") as f:
        token = f.read().strip()
except FileNotFoundError:
    token = b""
try:
    with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
        s.sendall(token + b"\n" + request.encode() + b"\n")
        answer = s.makefile(encoding="utf-8").readline()
except OSError:
    sys.exit(1)
if not answer.endswith("\n"):
    sys.exit(1)
print(answer.rstrip("\n"))
PY
}
listening() { /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $1), 1).close()" 2>/dev/null; }
process_ended() {  # gone, or a zombie that nobody has reaped yet
  [ ! -e "/proc/$1" ] || [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" = Z ]
}

# --- The launch ------------------------------------------------------------------------------------
launch() {  # prints the report; sets soffice_pid and bridge_pid from it
  report=$(run libreoffice --bridge-file "$work/uno_bridge.py") || fail "the launch failed"
  echo "$report"
  soffice_pid=$(sed -n 's/^LibreOffice started (process \([0-9]*\)).*/\1/p' <<<"$report")
  bridge_pid=$(sed -n 's/^bridge started (process \([0-9]*\)).*/\1/p' <<<"$report")
  [ -n "$soffice_pid" ] && [ -n "$bridge_pid" ] || fail "no process ids in the report"
}
launch
step "launched: LibreOffice $soffice_pid, bridge $bridge_pid"

within 90 listening "$uno_port" || fail "LibreOffice did not listen for UNO within 90 s"
pong=
within 90 eval 'pong=$(ask ping)' || fail "the bridge did not answer within 90 s"
step "UNO listens; the bridge answers: $pong"
mv "$config/token" "$config/token.away"
ask ping >/dev/null && fail "the bridge answered without a token file"
install -m 600 /dev/null "$config/token"
ask ping >/dev/null && fail "the bridge answered with an empty token file"
mv "$config/token.away" "$config/token"
step "without a token file, or with an empty one, the bridge answers nobody"
if can_see_windows; then
  [ -z "$(windows)" ] || fail "a window before any document was opened: $(windows)"
  step "no window yet (--nodefault)"
fi
refused=$(run libreoffice --bridge-file "$work/uno_bridge.py" 2>&1) && fail "a second launch ran"
grep -q "the bridge of an earlier launch is still running (process $bridge_pid)" <<<"$refused" ||
  fail "a second launch said: $refused"

# --- The user opens their own document ---------------------------------------------------------------
marker="quantelspire story $RANDOM$RANDOM"
mkdir -m 700 "$work/documents"
document=$work/documents/story-$RANDOM.fodt
cat >"$document" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:body><office:text><text:p>$marker</text:p></office:text></office:body>
</office:document>
XML
# LibreOffice 24.2 and later put an em dash between the document and the application.
libreoffice_major=$(dpkg-query -W -f '${Version}' libreoffice-core 2>/dev/null | sed 's/^[0-9]*://; s/\..*//')
separator=" - "
[ "${libreoffice_major:-0}" -ge 24 ] && separator=" — "
title="$(basename "$document")${separator}LibreOffice Writer"
timeout 30 env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "${session_env[@]}" \
  /usr/bin/soffice "$document" >/dev/null 2>&1 || fail "opening the document did not end with 0 within 30 s"
step "the user opened $(basename "$document"); LibreOffice took it over"
if can_see_windows; then
  within 30 eval '[ "$(windows)" = "$title" ]' || fail "windows on screen: [$(windows)], wanted [$title]"
  step "on screen: $title"
fi

current=$(ask current) || fail "the bridge did not say which document is current"
/usr/bin/python3 - "$current" "$document" "$marker" <<'PY' || fail "current document: $current"
import json, pathlib, sys
answer, document, marker = json.loads(sys.argv[1]), sys.argv[2], sys.argv[3]
assert answer["url"] == pathlib.Path(document).as_uri(), answer["url"]
assert marker in answer["text"], answer["text"]
PY
step "the bridge sees it: $current"

if can_see_windows; then
  sleep 3  # a dialog (tips, "document in use", a filter choice) would show by now
  [ "$(windows)" = "$title" ] || fail "after a few seconds the windows are: [$(windows)]"
  step "still exactly one window"
fi

# --- The stop ---------------------------------------------------------------------------------------
stopped=$(run libreoffice --stop) || fail "the stop failed"
echo "$stopped"
[ "$(head -n 1 <<<"$stopped")" = "bridge stopped (process $bridge_pid)" ] || fail "stop said: $stopped"
within 10 process_ended "$bridge_pid" || fail "the bridge did not end on SIGTERM"
kill -0 "$soffice_pid" 2>/dev/null || fail "LibreOffice ended with the bridge"
listening "$uno_port" || fail "LibreOffice stopped listening"
if can_see_windows; then
  [ "$(windows)" = "$title" ] || fail "the window went with the bridge: [$(windows)]"
fi
refused=$(run libreoffice --bridge-file "$work/uno_bridge.py" 2>&1) && fail "a launch attached"
grep -q "LibreOffice is already running" <<<"$refused" || fail "a launch after the stop said: $refused"
step "the bridge ended; LibreOffice, its window and its UNO port stay; a new launch refuses"

if [ -n "$screenshot" ]; then
  if [ "$system" = wayland ]; then
    (cd "$work" && timeout 30 weston-screenshooter >/dev/null 2>&1)
    mv "$work"/wayland-screenshot-*.png "$screenshot"
  elif [ -n "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    timeout 30 xwd -root -silent -display "$DISPLAY" | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot"
  else
    echo "no screenshot: a desktop's own Wayland compositor offers no portable way to take one"
    screenshot=
  fi
  [ -z "$screenshot" ] || step "screenshot: $screenshot"
fi

# --- The user closes LibreOffice under a running bridge ------------------------------------------
end_group "$soffice_pid"
within 30 eval '[ -z "$(pgrep -x -u "$(id -u)" soffice.bin)" ]' || fail "LibreOffice did not end"
launch >/dev/null
within 90 ask ping >/dev/null || fail "the relaunched bridge did not answer within 90 s"
end_group "$soffice_pid"
within 10 process_ended "$bridge_pid" || fail "the bridge outlived its LibreOffice"
step "relaunched, then LibreOffice closed: its bridge ended by itself"

step "the story holds ($system)"
