#!/usr/bin/env zsh
# Prints the candidates that zsh offers for each command line, one a line,
# each line's candidates ended by a line "<done>": one interactive zsh in a
# pseudo-terminal loads the completion functions of DIR, each line is typed
# and Tab pressed at its end, and the line is then cleared for the next.
#   zsh_complete.zsh DIR LINE...
emulate -L zsh
zmodload zsh/zpty zsh/zselect || exit 2
local dir=$1 line out all fd
local -a hits
shift
zpty z zsh -f -i || exit 2
fd=$REPLY
zpty -w z "PS1='' RPS1='' LISTMAX=100000 KEYTIMEOUT=1; unsetopt zle_bracketed_paste; setopt no_beep"
zpty -w z "fpath=(${(q)dir} \$fpath); autoload -U compinit; compinit -u -D"
# compadd as the completion functions call it, printing each candidate it
# adds on a line of its own; calls that only ask (-O, -A, -D) pass through.
zpty -w z 'compadd() {
  if [[ " ${@[1,(i)(-|--)]} " == *\ -[OAD]\ * ]]; then builtin compadd "$@"; return; fi
  local -a hits; builtin compadd -A hits "$@"
  local hit; for hit in $hits; do print -rn -- $'"'"'\n<hit>'"'"'$hit$'"'"'\n'"'"'; done
  builtin compadd "$@"
}'
# Ctrl-X after the Tab marks the end of the completion and empties the line
# for the next one.
zpty -w z 'end-marker() { print -rn -- $'"'"'\n<end>\n'"'"'; BUFFER=; CURSOR=0; }; zle -N end-marker; bindkey "^X" end-marker'
# The mark is split in the typed line, so that the terminal's echo of it
# does not match before the lines above have run (keys typed while
# compinit still runs may be lost).
zpty -w z 'print -r -- "<rea""dy>"'
zpty -r z out '*<ready>*'
for line; do
  zpty -w -n z "$line"$'\t\x18'
  # Read until the end mark; 10 s without output, or the shell's end, end it.
  all=
  while [[ $all != *'<end>'* ]] && zselect -t 1000 -r $fd && zpty -r -t z out; do
    all+=$out
  done
  [[ $all == *'<end>'* ]] || { zpty -d z; print -r -- "no end of the completion of: $line" >&2; exit 2; }
  hits=()
  for out in ${(f)all//$'\r'/}; do
    [[ $out == '<hit>'* ]] && hits+=(${out#'<hit>'})
  done
  (( $#hits )) && print -rl -- ${(u)hits} | sort
  print -r -- '<done>'
done
zpty -d z
