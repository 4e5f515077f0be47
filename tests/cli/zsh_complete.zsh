#!/usr/bin/env zsh
# Prints the candidates that zsh offers for a command line, one a line: an
# interactive zsh in a pseudo-terminal loads the completion functions of
# DIR, the line is typed and Tab pressed at its end.
#   zsh_complete.zsh DIR LINE
emulate -L zsh
zmodload zsh/zpty || exit 2
local dir=$1 line=$2 out all
local -a hits
zpty z zsh -f -i || exit 2
zpty -w z "PS1='' RPS1='' LISTMAX=100000; unsetopt zle_bracketed_paste; setopt no_beep"
zpty -w z "fpath=(${(q)dir} \$fpath); autoload -U compinit; compinit -u -D"
# compadd as the completion functions call it, printing each candidate it
# adds on a line of its own; calls that only ask (-O, -A, -D) pass through.
zpty -w z 'compadd() {
  if [[ " ${@[1,(i)(-|--)]} " == *\ -[OAD]\ * ]]; then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -A hits "$@"
  local hit; for hit in $hits; do print -rn -- $'"'"'\n<hit>'"'"'$hit$'"'"'\n'"'"'; done
  builtin compadd "$@"
}'
# Ctrl-X after the Tab marks the end of the completion.
zpty -w z 'end-marker() { print -rn -- $'"'"'\n<end>\n'"'"'; }; zle -N end-marker; bindkey "^X" end-marker'
# The mark is split in the typed line, so that the terminal's echo of it
# does not match before the lines above have run (keys typed while
# compinit still runs may be lost).
zpty -w z 'print -r -- "<rea""dy>"'
zpty -r z out '*<ready>*'
zpty -w -n z "$line"$'\t\x18'
# Read until the end mark, 10 s at most.
for i in {1..100}; do
  zpty -r -t z out || { sleep 0.1; continue; }
  all+=$out
  [[ $all == *'<end>'* ]] && break
done
zpty -d z
[[ $all == *'<end>'* ]] || { print -r -- "no end of the completion of: $line" >&2; exit 2; }
for out in ${(f)all//$'\r'/}; do
  [[ $out == '<hit>'* ]] && hits+=(${out#'<hit>'})
done
print -rl -- ${(u)hits} | sort
