#!/bin/sh
# The reader on the GBA's CPU: attaches two drives made from generated trees (one file of
# 1 MiB) to the GBA example, runs it in mGBA and compares its listing (path, size, CRC-32,
# each file read through kfs_map, kfs_read with DMA and fread) with the trees; checks the
# timer interrupt's stream, read at the same time; prints the emulated reading speeds.
#   GbaTest.sh KIVOFS RUNNER EXAMPLE_OUT WORK
set -eu
kivofs=$1 runner=$2 out=$3 work=$4

. "$(dirname "$0")/../ExampleRun.sh"
check_marker "$out/kivofs_gba.gba" "$out/kivofs_reader.o"
rm -rf "$work"
mkdir -p "$work/a"
seq 5 5 99999 | head -c 40000 >"$work/a/music.raw"  # the largest at the root: the stream
attach_drives "$kivofs" "$work" "$out/kivofs_gba.gba" "$work/game.gba"
"$runner" "$work/game.gba" 6000 >"$work/listing"
check_listing "$work"

# The interrupt read its file again and again, also while the main loop was inside a read,
# and every piece matched.
awk '/^irq / { found = 1
               if ($2 != "music.raw" || $4 < 2 * 40000 || $5 == 0 || $6 != 0) { print "stream: " $0; exit 1 } }
     END { if (!found) { print "no stream line"; exit 1 } }' "$work/listing"

# Cycles per byte of each way of reading the 1 MiB file; a frame is 280896 cycles.
awk '/^speed / { printf "%-26s %10d cycles  %6.3f cycles/byte\n", $2, $4, $4 / $3 }
     /^irq / { printf "interrupt stream: %d pieces, %d bytes, %d during a read of the main loop\n", $3, $4, $5 }
     /^frames / { printf "%d frames in all\n", $2 }' "$work/listing"
