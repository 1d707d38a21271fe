#!/bin/sh
# The baseline of a stop: signal the pid in a file and forget the file. $1: the work folder.
kill -TERM "$(cat "$1/bridge.pid")"
rm -f "$1/bridge.pid"
