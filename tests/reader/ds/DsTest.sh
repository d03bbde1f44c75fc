#!/bin/sh
# The reader on a DS: attaches two drives made from generated trees (one file of 1 MiB) to
# the DS example with --nds-header, runs it in DeSmuME, where it reads them through the card
# bus, and compares its listing (path, size, CRC-32) with the trees; prints the emulated
# reading speed.
#   DsTest.sh KIVOFS RUNNER CORE_DIR EXAMPLE_OUT WORK
set -eu
kivofs=$1 runner=$2 core=$3 out=$4 work=$5

for file in desmume_libretro.so libtinyxml.so.2.6.2; do
  [ -f "$core/$file" ] || { echo "no $core/$file: scripts/test unpacks DeSmuME's core there"; exit 1; }
done
# The attach tool fills the first marker in the ROM: the program holds one (its block) and
# the library none.
count() { grep -a -o KivoFSDrive "$1" | wc -l; }
[ "$(count "$out/kivofs_ds.nds")" -eq 1 ] || { echo "the ROM must hold the marker once"; exit 1; }
[ "$(count "$out/kfs_ds_part.o")" -eq 0 ] || { echo "the DS part holds the marker"; exit 1; }

rm -rf "$work"
mkdir -p "$work/a/levels/Deep" "$work/a/empty" "$work/b"
seq 1 300000 | head -c 1048576 >"$work/a/levels/big.bin"
seq 7 3 9999 | head -c 5000 >"$work/a/levels/level1.map"
seq 1 700 | head -c 512 >"$work/a/levels/Deep/exact.bin"
seq 1 2000 | head -c 4097 >"$work/a/levels/Deep/page.bin"
: >"$work/a/levels/Deep/empty.txt"
printf 'hello' >"$work/a/README.txt"
seq 1 300 >"$work/b/save.dat"
"$kivofs" build "$work/a" -o "$work/a.kid" --name "Game Data" -q
"$kivofs" build "$work/b" -o "$work/b.kid" -q
"$kivofs" attach "$out/kivofs_ds.nds" -o "$work/game.nds" --drive0 "$work/a.kid" \
  --drive1 "$work/b.kid" --nds-header >/dev/null
"$runner" "$core" "$work/game.nds" 600 >"$work/listing"

# What the program must list: the medium, each directory, and each file with its size and
# CRC-32 (the one gzip stores in its trailer).
expect() {
  (cd "$2" && find . -mindepth 1 | sed 's|^\./||' | while read -r path; do
    if [ -d "$path" ]; then
      echo "d $1 $path"
    else
      crc=$(gzip -c "$path" | tail -c 8 | od -An -tx4 -N4 | tr -d ' ')
      printf 'f %s %s %s %x\n' "$1" "$path" "$(wc -c <"$path")" "0x$crc"
    fi
  done)
}
{ echo "medium card"; echo "drive 0 Game Data"; echo "drive 1 Kivo Rom Drive"; expect 0 "$work/a"
  expect 1 "$work/b"; } | LC_ALL=C sort >"$work/expected"
grep -E '^(medium|d|f|drive|error) ' "$work/listing" | LC_ALL=C sort >"$work/listed"
diff -u "$work/expected" "$work/listed"

# The ARM9 timers count at 33.513982 MHz.
awk '/^speed / { printf "%d bytes read in %d ticks: %.0f KiB/s emulated; ", $2, $3,
                        $2 / 1024 / ($3 / 33513982)
                 printf "opening it (the chain check) %d ticks\n", $4 }
     /^frames / { printf "%d frames in all\n", $2 }' "$work/listing"
