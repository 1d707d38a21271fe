#!/bin/sh
# The baseline of a launch's whole job: look for the user's LibreOffice, start both children,
# record them. $1: the benchmark's work folder.
/usr/bin/pgrep -U "$(id -u)" -x soffice.bin >/dev/null && exit 2
/usr/bin/soffice '--accept=socket,host=127.0.0.1,port=2002;urp;' --norestore --nologo --nodefault </dev/null >/dev/null 2>&1 &
soffice=$!
/usr/bin/python3 "$1/uno_bridge.py" </dev/null >/dev/null 2>&1 &
printf 'soffice %s\nbridge %s %s\n' "$soffice" "$!" "$1/uno_bridge.py" >"$1/record"
