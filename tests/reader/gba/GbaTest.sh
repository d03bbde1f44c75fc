#!/bin/sh
# The reader on the GBA's CPU: attaches two drives made from generated trees (one file of
# 1 MiB) to the GBA example, runs it in mGBA and compares its listing (path, size, CRC-32,
# each file read through kfs_map, kfs_read with DMA and fread) with the trees; checks the
# timer interrupt's stream, read at the same time; prints the emulated reading speeds.
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
seq 5 5 99999 | head -c 40000 >"$work/a/music.raw"  # the largest at the root: the stream
seq 1 300 >"$work/b/save.dat"
"$kivofs" build "$work/a" -o "$work/a.kid" --name "Game Data" -q
"$kivofs" build "$work/b" -o "$work/b.kid" -q
"$kivofs" attach "$out/kivofs_gba.gba" -o "$work/game.gba" --drive0 "$work/a.kid" \
  --drive1 "$work/b.kid" >/dev/null
"$runner" "$work/game.gba" 6000 >"$work/listing"

# What the program must list: each directory, and each file with its size and CRC-32 (the
# one gzip stores in its trailer).
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
{ echo "drive 0 Game Data"; echo "drive 1 Kivo Rom Drive"; expect 0 "$work/a"; expect 1 "$work/b"; } |
  LC_ALL=C sort >"$work/expected"
grep -E '^(d|f|drive|error) ' "$work/listing" | LC_ALL=C sort >"$work/listed"
diff -u "$work/expected" "$work/listed"

# The interrupt read its file again and again, also while the main loop was inside a read,
# and every piece matched.
awk '/^irq / { found = 1
               if ($2 != "music.raw" || $4 < 2 * 40000 || $5 == 0 || $6 != 0) { print "stream: " $0; exit 1 } }
     END { if (!found) { print "no stream line"; exit 1 } }' "$work/listing"

# Cycles per byte of each way of reading the 1 MiB file; a frame is 280896 cycles.
awk '/^speed / { printf "%-26s %10d cycles  %6.3f cycles/byte\n", $2, $4, $4 / $3 }
     /^irq / { printf "interrupt stream: %d pieces, %d bytes, %d during a read of the main loop\n", $3, $4, $5 }
     /^frames / { printf "%d frames in all\n", $2 }' "$work/listing"
