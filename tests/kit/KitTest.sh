#!/bin/bash
# Installs the build into a scratch prefix and uses the kit from there, as a user would:
# builds the sample GBA project with CMake (Ninja, then Unix Makefiles) and with make, runs
# each ROM in mGBA and compares its listing with the asset tree, and checks what every kind
# of change to the tree reruns. The tree holds names that CMake misreads in a dependency file.
#   KitTest.sh BUILD RUNNER EXAMPLE TESTDIR WORK
set -euo pipefail
build=$1 runner=$2 example=$3 testdir=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
# A copy of the sample, so that its program can change.
cp -r "$example" "$work/example"
example=$work/example
export PATH=$prefix/bin:$PATH
unset SOURCE_DATE_EPOCH
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

assets=$work/assets
mkdir -p "$assets/gfx/tiles (1)" "$assets/levels" "$assets/odd: #\$|"
printf 'palette' >"$assets/gfx/title.pal"
seq 1 3000 >"$assets/gfx/tiles (1)/t[1]*?.bin"
seq 5 5 5000 >"$assets/levels/one.lvl"
printf 'readme' >"$assets/readme.txt"
printf 'colon' >"$assets/a:b|c.txt"
printf 'space' >"$assets/trailing "
printf 'hash' >"$assets/odd: #\$|/k=v;w'\"&"

# The listing the ROM's program must write: the drive, each directory, each file with its
# size and CRC-32 (the one gzip stores in its trailer).
expected() {
  echo "drive 0 Game Data"
  (cd "$assets" && find . -mindepth 1 ! -name '.*' -printf '%P\n' | while IFS= read -r path; do
    if [ -d "$path" ]; then
      echo "d 0 $path"
    else
      printf 'f 0 %s %s %x\n' "$path" "$(wc -c <"$path")" \
        "0x$(gzip -c "$path" | tail -c 8 | od -An -tx4 -N4 | tr -d ' ')"
    fi
  done)
}
check_rom() {  # check_rom WAY ROM
  expected | LC_ALL=C sort >"$work/expected"
  "$runner" "$2" 600 | grep -E '^(d|f|drive|error) ' | LC_ALL=C sort >"$work/listed" || true
  diff -u "$work/expected" "$work/listed" >"$work/diff" || { fail "$1: the ROM's listing"; cat "$work/diff"; }
}

# Every entry of the image carries the kit's one instant (UTC), whenever it was packed.
check_date() {  # check_date WAY IMAGE EPOCH
  local want got
  want=$(date -u -d "@$3" '+%Y-%m-%d %a %H:%M:%S')
  got=$(kivofs ls -l -R "$2" | awk '{ print $3, $4, $5 }' | sort -u)
  [ "$got" = "$want" ] || fail "$1: the entries carry '$got', not the instant $3 ($want)"
}

# What a build ran, as the words of its progress lines: pack, attach, compile.
ran() {
  local out=$1
  local steps=()
  grep -q 'Packing drive\|kivofs build' "$out" && steps+=(pack)
  grep -q 'Attaching drive\|kivofs attach' "$out" && steps+=(attach)
  grep -q 'Building C\|Linking C\|arm-none-eabi-gcc' "$out" && steps+=(compile)
  echo "${steps[*]:-nothing}"
}
step() {  # step WAY NAME EXPECTED BUILD-COMMAND...: runs the build, checks what ran
  local out=$work/build.log
  if ! "${@:4}" >"$out" 2>&1; then
    fail "$1: $2: the build failed"
    cat "$out"
    return
  fi
  local got
  got=$(ran "$out")
  [ "$got" = "$3" ] || { fail "$1: $2: expected '$3' to run, got '$got'"; cat "$out"; }
}

# The changes, each followed by a no-op build; a change of the program attaches again too. A dot-file is never packed: it reruns at most
# the pack (its folder changed), never the attach. After a removal CMake's Makefile generator
# keeps the removed file among the dependencies, so its pack reruns on every later build.
changes() {  # changes WAY AFTER-REMOVAL BUILD-COMMAND...
  local way=$1 after_removal=$2
  shift 2
  step "$way" no-op nothing "$@"
  echo "$way" >>"$assets/levels/one.lvl"
  step "$way" "change a file" "pack attach" "$@"
  step "$way" no-op nothing "$@"
  printf 'colon, changed by %s' "$way" >"$assets/a:b|c.txt"
  step "$way" "change a file named with ':' and '|'" "pack attach" "$@"
  printf 'hash, changed by %s' "$way" >"$assets/odd: #\$|/k=v;w'\"&"
  step "$way" "change a file in a folder named with '#' and '\$'" "pack attach" "$@"
  step "$way" no-op nothing "$@"
  printf 'two' >"$assets/levels/two.lvl"
  step "$way" "add a file" "pack attach" "$@"
  step "$way" no-op nothing "$@"
  printf 'swap' >"$assets/levels/.one.lvl.swp"
  step "$way" "add a dot-file" pack "$@"
  step "$way" no-op nothing "$@"
  echo "/* changed by $way */" >>"$example/main.c"
  step "$way" "change the program" "attach compile" "$@"
  step "$way" no-op nothing "$@"
  rm "$assets/levels/.one.lvl.swp" "$assets/levels/two.lvl"
  step "$way" "remove a file" "pack attach" "$@"
  step "$way" no-op "$after_removal" "$@"
}

for generator in Ninja "Unix Makefiles"; do
  dir=$work/cmake-${generator// /-}
  cmake -S "$example" -B "$dir" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$example/arm-none-eabi.cmake" \
    -DCMAKE_PREFIX_PATH="$prefix" -DGAME_ASSETS="$assets" >"$work/configure.log" 2>&1 ||
    { fail "$generator: configure"; cat "$work/configure.log"; continue; }
  step "$generator" "first build" "pack attach compile" cmake --build "$dir"
  check_rom "$generator" "$dir/game_fs.gba"
  if [ "$generator" = Ninja ]; then after=nothing; else after=pack; fi
  changes "$generator" "$after" cmake --build "$dir"
  check_rom "$generator, after the changes" "$dir/game_fs.gba"
  check_date "$generator" "$dir/assets.kid" "$(sed -n 's/^KIVOFS_DATE_EPOCH:STRING=//p' "$dir/CMakeCache.txt")"
  printf 'readme' >"$assets/readme.txt"
done

# The same through kivofs.mk, with make reading kivofs's own dependency file.
makeit() { make -C "$example" KIVOFS_KIT="$prefix/share/kivofs" BUILD="$work/make" GAME_ASSETS="$assets"; }
step make "first build" "pack attach compile" makeit
check_rom make "$work/make/game_fs.gba"
changes make nothing makeit
check_rom "make, after the changes" "$work/make/game_fs.gba"
check_date make "$work/make/kivofs/drive0.kid" "$(cat "$work/make/kivofs/date-epoch")"

# Wrong use stops the configuration with a message naming the call and the argument.
"$testdir/errors.sh" "$prefix" "$work/errors" || failures=$((failures + 1))

if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "kit checked: the sample ROM built and read back with CMake (Ninja, Makefiles) and make"
