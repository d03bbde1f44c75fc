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
. "$(dirname "$0")/../ExampleRun.sh"
check_marker "$out/kivofs_ds.nds" "$out/kfs_ds_part.o"
rm -rf "$work"
mkdir -p "$work/a/levels/Deep"
seq 1 2000 | head -c 4097 >"$work/a/levels/Deep/page.bin"
attach_drives "$kivofs" "$work" "$out/kivofs_ds.nds" "$work/game.nds" --nds-header
"$runner" "$core" "$work/game.nds" 600 >"$work/listing"
check_listing "$work" "medium card"

# The ARM9 timers count at 33.513982 MHz.
awk '/^speed / { printf "%d bytes read in %d ticks: %.0f KiB/s emulated; ", $2, $3,
                        $2 / 1024 / ($3 / 33513982)
                 printf "opening it (the chain check) %d ticks\n", $4 }
     /^frames / { printf "%d frames in all\n", $2 }' "$work/listing"
