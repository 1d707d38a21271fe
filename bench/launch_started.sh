#!/bin/sh
# The baseline of a launch that only starts the two children. $1: the benchmark's work folder.
/usr/bin/soffice '--accept=socket,host=127.0.0.1,port=2002;urp;' --norestore --nologo --nodefault </dev/null >/dev/null 2>&1 &
/usr/bin/python3 "$1/uno_bridge.py" </dev/null >/dev/null 2>&1 &
