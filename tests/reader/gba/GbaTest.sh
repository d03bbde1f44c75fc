#!/bin/sh
# The reader on the GBA's CPU: attaches two drives made from generated trees (one file of
# 1 MiB) to the GBA example and runs it in mGBA; the runner compares the program's listing
# with the trees and prints the reading speed.
#   GbaTest.sh KIVOFS RUNNER EXAMPLE_OUT WORK
set -eu
kivofs=$1 runner=$2 out=$3 work=$4

# The attach tool fills the first marker in the ROM: the program holds one (its block) and
# the library none.
count() { grep -a -o KivoFSDrive "$1" | wc -l; }
[ "$(count "$out/kivofs_gba.gba")" -eq 1 ] || { echo "the ROM must hold the marker once"; exit 1; }
[ "$(count "$out/kivofs_reader.o")" -eq 0 ] || { echo "the library holds the marker"; exit 1; }

rm -rf "$work"
mkdir -p "$work/a/levels/Deep" "$work/a/empty" "$work/b"
seq 1 300000 | head -c 1048576 >"$work/a/levels/big.bin"
seq 7 3 9999 | head -c 5000 >"$work/a/levels/level1.map"
seq 1 700 | head -c 512 >"$work/a/levels/Deep/exact.bin"
: >"$work/a/levels/Deep/empty.txt"
printf 'hello' >"$work/a/README.txt"
seq 1 300 >"$work/b/save.dat"
"$kivofs" build "$work/a" -o "$work/a.kid" --name "Game Data" -q
"$kivofs" build "$work/b" -o "$work/b.kid" -q
"$kivofs" attach "$out/kivofs_gba.gba" -o "$work/game.gba" --drive0 "$work/a.kid" \
  --drive1 "$work/b.kid" >/dev/null
"$runner" "$work/game.gba" --frames 1200 "0=$work/a" "1=$work/b"
