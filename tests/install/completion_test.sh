#!/bin/bash
# Drives the completion of --bridge-file in a real interactive bash under tmux, keys as a user
# types them, so that readline's own quoting and bash-completion's helpers take part; a "|" typed
# after each Tab shows whether the name was ended with a space. Usage: completion_test.sh FILE
# Exits with 77 where tmux or bash-completion is not installed.
set -u
completion=$1
helpers=/usr/share/bash-completion/bash_completion
if ! command -v tmux >/dev/null || [ ! -r "$helpers" ]; then
  echo "skipped: tmux and bash-completion are needed"
  exit 77
fi
dir=$(mktemp -d)
tmux=(tmux -S "$dir/tmux" -f /dev/null)
trap '"${tmux[@]}" kill-server 2>/dev/null; rm -rf "$dir"' EXIT
mkdir -p "$dir/usr/share" "$dir/dir with space"
touch "$dir/dir with space/it's.py" "$dir/usr/x.py"
printf 'PS1="> "\nsource %q\nsource %q\ncd %q\n' "$helpers" "$completion" "$dir" >"$dir/bashrc"
"${tmux[@]}" new-session -d -x 200 -y 10 \
  env -i HOME="$dir" TERM=xterm PATH=/usr/bin:/bin bash --noprofile --rcfile "$dir/bashrc" -i
last_line() { "${tmux[@]}" capture-pane -p | grep '^>' | tail -n 1 | sed 's/ *$//'; }
within_5s() {  # until the last prompt line reads $1
  local _
  for _ in $(seq 50); do
    [ "$(last_line)" = "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
within_5s ">" || { echo "no prompt from bash: $("${tmux[@]}" capture-pane -p)"; exit 1; }
failures=0
check() {  # what is typed after "quantelspire-launch libreoffice ", and the line after Tab
  local typed="quantelspire-launch libreoffice $1" want="> quantelspire-launch libreoffice $2|"
  "${tmux[@]}" send-keys -l "$typed"
  "${tmux[@]}" send-keys Tab
  "${tmux[@]}" send-keys -l "|"
  if ! within_5s "$want"; then
    echo "typed [$1] and Tab: got [$(last_line)], wanted [$want]"
    failures=$((failures + 1))
  fi
  "${tmux[@]}" send-keys C-u
  within_5s ">" || exit 1
}
check "--bridge-file usr/sh" "--bridge-file usr/share/"  # a directory: a slash, no space
check "--bridge-file usr/x" "--bridge-file usr/x.py "
check "--bridge-file dir" "--bridge-file dir\\ with\\ space/"  # one word, as typed unquoted
check "--bridge-file dir\\ with\\ space/i" "--bridge-file dir\\ with\\ space/it\\'s.py "
# Inside the quote it opened: readline closes it before the slash, as it does for ls.
check "--bridge-file \"dir w" "--bridge-file \"dir with space\"/"
check "--bridge-file \"dir with space/i" "--bridge-file \"dir with space/it's.py\" "
check "--bridge-file ~/us" "--bridge-file ~/usr/"
check "--bridge-file=usr/sh" "--bridge-file=usr/share/"
check "--bridge-file=~/us" "--bridge-file=$dir/usr/"  # no "~" is expanded after "="
check "--st" "--stop "
exit $((failures > 0))
