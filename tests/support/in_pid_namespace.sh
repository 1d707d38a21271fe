#!/bin/sh
# Runs a test program in a PID namespace of its own, with its own /proc: the processes of the
# machine (a LibreOffice open on the developer's desktop, say) are invisible to its process
# scans, and whatever it leaves running ends with it. Where the namespace is refused (as an
# ordinary user), the program runs as it is.
if [ "$(id -u)" -eq 0 ] && unshare --pid --fork --mount-proc true 2>/dev/null; then
  exec unshare --pid --fork --mount-proc --kill-child "$@"
fi
exec "$@"
