#!/bin/sh
# The help text help2man makes kivofs.1 from: the synopsis of every subcommand, the global
# options, then one subsection per subcommand with its description, arguments and options,
# all taken from the program's own --help so the page cannot drift from it.
#   help2man [...] "sh kivofs-help.sh path/to/kivofs"
set -eu
kivofs=$1
shift
# help2man also asks for --version: that one the program answers itself.
if [ "${1-}" != --help ]; then
  exec "$kivofs" "$@"
fi

# "-h,--help" -> "-h, --help": help2man then sets both spellings in bold.
spaced() { sed 's/^\( *-[[:alnum:]]\),/\1, /'; }

main=$("$kivofs" --help)
subcommands=$(printf '%s\n' "$main" | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p')

printf '%s\n' "$main" | sed -n '/^Usage: /p'
for sub in $subcommands; do
  "$kivofs" "$sub" --help | sed -n 's/^Usage: /   or: /p'
done
echo
printf '%s\n' "$main" | sed -n '/^Options:/,/^$/p' | spaced

echo '*Commands*'
for sub in $subcommands; do
  help=$("$kivofs" "$sub" --help)
  # The usage line as the subsection's heading, the description under it, then every
  # argument and option but the -h,--help that every subcommand has.
  printf '%s\n' "$help" | sed -n 's/^Usage: \(.*\)/\1:/p'
  printf '%s\n' "$help" | sed -n '1s/^/ /p'
  printf '%s\n' "$help" | sed -n '/^  /p' | grep -v '^  -h,--help ' | spaced
  echo
done
