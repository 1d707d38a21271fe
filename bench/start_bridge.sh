#!/bin/sh
# Prepares a stop of the baseline: a bridge and its pid in a file. $1: the work folder.
/usr/bin/python3 "$1/uno_bridge.py" </dev/null >/dev/null 2>&1 &
echo $! >"$1/bridge.pid"
