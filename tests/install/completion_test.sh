#!/bin/bash
# Drives the completion of --bridge-file through bash itself, as readline calls it: COMP_WORDS
# and COMP_CWORD set, the function called, COMPREPLY compared. Usage: completion_test.sh FILE
set -u
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/usr/share" "$dir/a b"
touch "$dir/a b/it's.py" "$dir/usr/x.py"
HOME=$dir
cd "$dir" || exit 1
failures=0
check() {  # the word typed so far, then the replies wanted
  local word=$1 got want
  shift
  COMP_WORDS=(quantelspire-launch libreoffice --bridge-file "$word")
  COMP_CWORD=3
  _quantelspire_launch
  got=$(printf '[%s]' "${COMPREPLY[@]}")
  want=$(printf '[%s]' "$@")
  if [ "$got" != "$want" ]; then
    echo "completing $word: got $got, wanted $want"
    failures=$((failures + 1))
  fi
}
check "usr/sh" "usr/share/"                 # a directory: a slash, no space
check "usr/x" "usr/x.py"
check "a" "a\\ b/"                           # a space stays inside one word
check "a\\ b/" "a\\ b/it\\'s.py"
check "'a b/i" "a\\ b/it\\'s.py"             # typed inside quotes
check "~/us" "~/usr/"                        # the home directory
check "$dir/usr/s" "$dir/usr/share/"
exit $((failures > 0))
