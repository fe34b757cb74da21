#!/usr/bin/env bash
# The man pages and completions the build writes, checked against the tool's own help output:
# every option of every command appears in its man page and in the zsh script, bash and fish
# complete exactly the options the help lists, the pages render without warnings, and each
# shell loads its script.
# Usage: tests/reference_test.sh ZAVOL_BINARY REFERENCE_DIR
set -euo pipefail
zavol=$1
reference=$2
fail() { echo "reference_test: $*" >&2; exit 1; }
[ -f "$reference/written" ] || fail "$reference holds no written reference"

# The commands and each command's option spellings, read from the help text a user sees.
commands=$("$zavol" help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 } on && /^$/ { exit }')
[ -n "$commands" ] || fail "zavol help lists no commands"
help_options() {
  # An option's line starts with its spellings, joined by commas: "  -o,--output TEXT ...".
  "$zavol" help "$1" | sed -nE 's/^  (-[^ ]*).*$/\1/p' | tr , '\n' | sort -u
}
bash_completes() {
  # What the bash script offers for the words given; the last one is completed.
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _zavol_complete; printf "%s\n" "${COMPREPLY[@]}"' - "$reference/zavol.bash" zavol "$@" | sort -u
}
fish_completes() {
  fish -c 'source $argv[1]; complete -C"$argv[2]"' "$reference/zavol.fish" "$*" | cut -f1 | sort -u
}

for command in $commands; do
  [ "$command" = help ] && continue
  page="$reference/zavol-$command.1"
  [ -f "$page" ] || fail "no man page for $command"
  options=$(help_options "$command")
  [ -n "$options" ] || fail "no options read from zavol help $command"
  for option in $options; do
    grep -qF -- "\\fB$(sed 's/-/\\-/g' <<<"$option")\\fR" "$page" || fail "$option of $command is not in $(basename "$page")"
    grep -qF -- "$option" "$reference/_zavol" || fail "$option of $command is not in the zsh completion"
  done
  [ "$(bash_completes "$command" -)" = "$options" ] ||
    fail "bash completes other options than zavol help $command lists: $(diff <(bash_completes "$command" -) <(echo "$options") | tr '\n' ' ')"
  long_options=$(grep -- '^--' <<<"$options")
  [ "$(fish_completes "zavol $command --")" = "$long_options" ] ||
    fail "fish completes other options than zavol help $command lists"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
[ "$(bash_completes "")" = "$(sort <<<"$commands")" ] || fail "bash does not complete the commands"
[ "$(fish_completes "zavol ")" = "$(sort <<<"$commands")" ] || fail "fish does not complete the commands"

# Choice lists and paths: a value from the option's set, a file for an output.
table=(
  "render --depth-kind |disparity"
  "decode --depth-kind |mist"
  "render --view c|cross"
  "demo --dots s|stable"
)
for row in "${table[@]}"; do
  words=${row%|*} expected=${row#*|}
  read -ra split <<<"$words"
  [[ $words == *' ' ]] && split+=("")
  offered=$(bash_completes "${split[@]}")
  grep -qx -- "$expected" <<<"$offered" || fail "bash completing '$words' offers no $expected: $offered"
  offered=$(fish_completes "zavol $words")
  grep -qx -- "$expected" <<<"$offered" || fail "fish completing 'zavol $words' offers no $expected"
done
cd "$reference"
[ "$(bash_completes render -o zavol.f)" = zavol.fish ] || fail "bash does not complete a file name after render -o"

# zsh: the script parses and compinit binds it to zavol.
zsh -n _zavol || fail "_zavol does not parse"
bound=$(zsh -fc 'fpath=($PWD $fpath); autoload -Uz compinit; compinit -u -D; print -r -- $_comps[zavol]')
[ "$bound" = _zavol ] || fail "compinit binds zavol to '$bound', not _zavol"
LC_ALL=C.UTF-8 man -l zavol.1 | grep -q 'zavol-render(1)' || fail "zavol.1 does not refer to zavol-render(1)"
echo "reference_test: $(wc -w <<<"$commands") commands, man pages and completions agree with the help"
