#!/bin/sh
# Checks an installed launcher: the files in place, the man page renders without warnings, the
# bash completion loads and completes, the binary runs and prints its usage.
# Usage: check_install.sh --build BUILD_DIR SCRATCH_DIR   (installs the build under SCRATCH_DIR)
#        check_install.sh --deb PACKAGE.deb SCRATCH_DIR   (unpacks the package under SCRATCH_DIR)
set -eu
kind=$1
source=$2
root=$3/root
rm -rf "$3"
mkdir -p "$root"
case $kind in
  --build) cmake --install "$source" --prefix "$root/usr" >/dev/null ;;
  --deb) dpkg-deb -x "$source" "$root" ;;
  *) echo "usage: check_install.sh --build DIR|--deb FILE SCRATCH" >&2; exit 2 ;;
esac

man=$(ls "$root"/usr/share/man/man1/quantelspire-launch.1*)
completion=$root/usr/share/bash-completion/completions/quantelspire-launch
for f in "$root/usr/bin/quantelspire-launch" "$man" "$completion" \
         "$root/usr/share/quantelspire-launch/examples/uno_bridge.py" \
         "$root/usr/share/quantelspire-launch/examples/config.toml"; do
  [ -e "$f" ] || { echo "not installed: $f"; exit 1; }
done

case $man in
  *.gz) page=$(gzip -dc "$man") ;;
  *) page=$(cat "$man") ;;
esac
warnings=$(printf '%s\n' "$page" | groff -ww -man -Tutf8 -z 2>&1)
[ -z "$warnings" ] || { echo "man page warnings:"; echo "$warnings"; exit 1; }

# The completion builds on bash-completion's helpers, as every Debian completion does.
words=$(bash -c '. /usr/share/bash-completion/bash_completion; . "$1"
  COMP_WORDS=(quantelspire-launch li); COMP_CWORD=1; COMP_LINE="quantelspire-launch li"
  COMP_POINT=${#COMP_LINE}; _quantelspire_launch; echo "${COMPREPLY[*]}"' sh "$completion")
[ "$words" = libreoffice ] || { echo "completion offered: $words"; exit 1; }

usage=$("$root/usr/bin/quantelspire-launch" --help)
echo "$usage" | head -n 1 | grep -qx 'usage:' || { echo "unexpected usage: $usage"; exit 1; }
echo "installed tree: man page, completion and --help work"
rm -rf "$3"
