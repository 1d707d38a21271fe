#!/bin/sh
# Installs the build into a staging root, checks the man page renders without warnings, builds
# the Debian package, unpacks it into a scratch root and runs the binary from there.
# Usage: check_package.sh BUILD_DIR SCRATCH_DIR
set -eu
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/stage" "$scratch/root" "$scratch/cpack"

cmake --install "$build" --prefix "$scratch/stage/usr" >/dev/null
for f in bin/quantelspire-launch share/man/man1/quantelspire-launch.1 \
         share/bash-completion/completions/quantelspire-launch; do
  [ -e "$scratch/stage/usr/$f" ] || { echo "not installed: $f"; exit 1; }
done

warnings=$(groff -ww -man -Tutf8 -z "$scratch/stage/usr/share/man/man1/quantelspire-launch.1" 2>&1)
[ -z "$warnings" ] || { echo "man page warnings:"; echo "$warnings"; exit 1; }
bash -n "$scratch/stage/usr/share/bash-completion/completions/quantelspire-launch"

(cd "$scratch/cpack" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/cpack/*.deb)
dpkg-deb --field "$deb" Depends Recommends
dpkg-deb --field "$deb" Recommends | grep -q python3-uno
if dpkg-deb --field "$deb" Depends | grep -q libreoffice; then echo "LibreOffice must not be a hard dependency"; exit 1; fi
dpkg -x "$deb" "$scratch/root"
usage=$("$scratch/root/usr/bin/quantelspire-launch" --help)
echo "$usage" | head -n 1 | grep -qx 'usage:' || { echo "unexpected usage: $usage"; exit 1; }
echo "package $(basename "$deb") installs and runs"
rm -rf "$scratch"
