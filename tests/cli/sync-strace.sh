#!/bin/sh
# --sync as the system calls show it: the output file is synced before it is renamed into
# place and its folder after; without --sync nothing is synced.
#   sync-strace.sh <kivofs>
. "$(dirname "$0")/scratch.sh"
mkdir "$dir/src"
echo hello >"$dir/src/a.txt"
calls() {  # the syncs and renames of one run, one word each
  strace -f -e trace=fsync,fdatasync,rename,renameat,renameat2 -o "$dir/log" "$kivofs" "$@" >/dev/null
  sed -n 's/^\([0-9]* *\)\{0,1\}\(fsync\|fdatasync\|rename[a-z0-9]*\)(.*/\2/p' "$dir/log" | paste -sd' '
}
got=$(calls build "$dir/src" -o "$dir/a.kid" --sync -q)
[ "$got" = "fsync renameat fsync" ] || { echo "build --sync: $got"; exit 1; }
got=$(calls build "$dir/src" -o "$dir/b.kid" -q)
[ "$got" = "renameat" ] || { echo "build: $got"; exit 1; }
got=$(calls extract "$dir/a.kid" "$dir/out" --sync)
[ "$got" = "fsync renameat fsync" ] || { echo "extract --sync: $got"; exit 1; }
echo ok
