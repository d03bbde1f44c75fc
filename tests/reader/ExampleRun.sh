# Shared by the tests that run a reader example in an emulator (sourced; POSIX sh, set -eu):
# the ROM's marker, the drives attached to it and the listing compared with their trees.

# check_marker ROM LIBRARY: the attach tool fills the first marker in the ROM, so the program
# holds one (its block) and the library none.
check_marker() {
  count() { grep -a -o KivoFSDrive "$1" | wc -l; }
  [ "$(count "$1")" -eq 1 ] || { echo "the ROM must hold the marker once"; exit 1; }
  [ "$(count "$2")" -eq 0 ] || { echo "the library part $2 holds the marker"; exit 1; }
}

# attach_drives KIVOFS WORK ROM OUTPUT [ATTACH-OPTION...]: packs WORK/a (one file of 1 MiB;
# the caller may add files first) and WORK/b, and attaches them to ROM as OUTPUT.
attach_drives() {
  kivofs=$1 work=$2 rom=$3 output=$4
  shift 4
  mkdir -p "$work/a/levels/Deep" "$work/a/empty" "$work/b"
  seq 1 300000 | head -c 1048576 >"$work/a/levels/big.bin"
  seq 7 3 9999 | head -c 5000 >"$work/a/levels/level1.map"
  seq 1 700 | head -c 512 >"$work/a/levels/Deep/exact.bin"
  : >"$work/a/levels/Deep/empty.txt"
  printf 'hello' >"$work/a/README.txt"
  seq 1 300 >"$work/b/save.dat"
  "$kivofs" build "$work/a" -o "$work/a.kid" --name "Game Data" -q
  "$kivofs" build "$work/b" -o "$work/b.kid" -q
  "$kivofs" attach "$rom" -o "$output" --drive0 "$work/a.kid" --drive1 "$work/b.kid" "$@" >/dev/null
}

# check_listing WORK [LINE...]: WORK/listing, the program's output, must list the given lines,
# the two drives, each directory, and each file with its size and CRC-32 (the one gzip stores
# in its trailer), and no error.
check_listing() {
  work=$1
  shift
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
  { for line in "$@"; do echo "$line"; done
    echo "drive 0 Game Data"; echo "drive 1 Kivo Rom Drive"; expect 0 "$work/a"; expect 1 "$work/b"
  } | LC_ALL=C sort >"$work/expected"
  kinds="d|f|drive|error"
  for line in "$@"; do kinds="$kinds|${line%% *}"; done
  grep -E "^($kinds) " "$work/listing" | LC_ALL=C sort >"$work/listed"
  diff -u "$work/expected" "$work/listed"
}
