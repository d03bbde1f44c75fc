#!/bin/bash
# Sources the bash completion of kivofs with bash-completion's helpers and asks it for the
# completions of command lines, as bash does on <Tab>. The subcommands and options it offers
# must be exactly those of `kivofs --help` and `kivofs SUB --help`.
#   completion.sh <kivofs.bash-completion> <kivofs> <scratch dir>
completion=$1 kivofs=$2 scratch=$3
helpers=/usr/share/bash-completion/bash_completion
[ -r "$helpers" ] || { echo "missing $helpers: apt install bash-completion"; exit 1; }
source "$helpers"
source "$completion"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# complete LINE [WORD...]: COMPREPLY for LINE with the cursor at its end, sorted, on one line.
# WORD... are the words as bash splits them (at '=' too); by default LINE split at blanks.
complete_line() {
  COMP_LINE=$1 COMP_POINT=${#1}
  shift
  if (($#)); then COMP_WORDS=("$@"); else read -ra COMP_WORDS <<<"$COMP_LINE"; fi
  [[ $# -eq 0 && $COMP_LINE == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kivofs kivofs "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd' '
}

expect() {  # expect LINE EXPECTED [WORD...]
  local line=$1 expected=$2
  shift 2
  local got
  got=$(complete_line "$line" "$@")
  [ "$got" = "$expected" ] || fail "'$line<Tab>' gave '$got', expected '$expected'"
}

# The words of a help text: subcommand names, or every spelling of every option.
sorted() { sort | paste -sd' '; }
subcommands=$("$kivofs" --help | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
options_of() { "$kivofs" "$@" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n' | sorted; }

[ -n "$subcommands" ] || fail "no subcommands in kivofs --help"
expect "kivofs " "$(sorted <<<"$subcommands")"
expect "kivofs -" "$(options_of)"
expect "kivofs ro" "rominfo"
for sub in $subcommands; do
  expect "kivofs $sub -" "$(options_of "$sub")"
done

# File arguments, filtered by what each argument is; directories always come along so
# that the user can walk down to the file.
mkdir -p "$scratch"
cd "$scratch" || exit 1
rm -rf ./* && mkdir tree && touch a.kid B.KID c.nds d.gba notes.txt
expect "kivofs info " "B.KID a.kid c.nds d.gba tree"
expect "kivofs verify a" "a.kid"
expect "kivofs ls -l " "B.KID a.kid c.nds d.gba tree"
expect "kivofs ls --drive " "1 2"
expect "kivofs ls --drive 2 " "B.KID a.kid c.nds d.gba tree"
expect "kivofs rename " "B.KID a.kid tree"
expect "kivofs ls a.kid " ""
expect "kivofs rename a.kid " ""
expect "kivofs extract a.kid " "tree"
expect "kivofs mount " "B.KID a.kid c.nds d.gba tree"
expect "kivofs mount c.nds " "tree"
expect "kivofs mount -o " ""
expect "kivofs build " "tree"
expect "kivofs build --name x " "tree"
expect "kivofs build tree -o " "B.KID a.kid tree"
expect "kivofs build tree --output=" "B.KID a.kid tree" kivofs build tree --output = ""
expect "kivofs build tree --exclude " ""
expect "kivofs build tree -q -- " ""
expect "kivofs attach " "c.nds d.gba tree"
expect "kivofs attach c.nds --drive1 " "B.KID a.kid tree"
expect "kivofs attach c.nds -o " "c.nds d.gba tree"
expect "kivofs rominfo " "c.nds d.gba tree"
expect "kivofs detach c.nds -o " "tree"
expect "kivofs detach c.nds --rom " "c.nds d.gba tree"

if ((failures)); then
  echo "$failures completion checks failed"
  exit 1
fi
echo "completion matches kivofs --help for: $(paste -sd' ' <<<"$subcommands")"
