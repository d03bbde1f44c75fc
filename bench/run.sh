#!/usr/bin/env bash
# Times `kivofs build` and `kivofs attach` against the floor of the same work, and prints one
# table: median wall time of each, their ratio, the goal and kivofs's peak RSS.
#
#   bench/run.sh [path/to/kivofs] [rounds] [work...]
#
# Defaults: build/cli/kivofs, 7 rounds, every work (small many large dirs huge attach mount).
#
# The floor of a build reads every file of the tree once (find | xargs cat > out); the floor
# of an attach is `cat host drive0 drive1 > out`. Both replace the output of the round before,
# as a rebuild does. The work `mount` reads the image of `large` through `kivofs mount` (cat of
# every file) and lists the image of `many` (ls -lR), each against the same on the extracted
# copy, both in the page cache; it needs FUSE (root, or a user who may mount). Rounds are
# interleaved (kivofs, floor,
# kivofs, ...) so that drift in the machine's load hits both alike; the 2 GiB tree, which
# writes 2 GiB per run, gets at most 3 rounds. Inputs live under $KIVOFS_BENCH_DIR (default
# /tmp/kivofs-bench); they are generated once from fixed seeds and reused.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KIVOFS="$(realpath "${1:-$ROOT/build/cli/kivofs}")"
ROUNDS="${2:-7}"
WORKS="${*:3}"
WORKS="${WORKS:-small many large dirs huge attach mount}"
WORK="${KIVOFS_BENCH_DIR:-/tmp/kivofs-bench}"

for tool in "$KIVOFS" /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: missing $tool" >&2; exit 1; }
done
mkdir -p "$WORK"

# Deterministic, incompressible inputs: contents come from a seeded generator.
python3 - "$WORK" <<'PY'
import math, os, random, sys
work = sys.argv[1]

def write(path, size, rng, marker_at=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        left = size
        while left:
            chunk = min(left, 1 << 20)
            out.write(rng.randbytes(chunk))
            left -= chunk
        if marker_at is not None:
            # The marker and an empty 17-byte parameter block.
            out.seek(marker_at)
            out.write(b"KivoFSDrive" + bytes(17))

def make(name, files, sparse=False):
    root = os.path.join(work, name)
    stamp = os.path.join(work, name + ".done")
    if os.path.exists(stamp):
        return
    rng = random.Random(20061503)
    for relative, size in files(rng):
        path = os.path.join(root, relative)
        if sparse:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as out:
                out.truncate(size)
        else:
            write(path, size, rng)
    open(stamp, "w").close()

def small(rng):
    # about 300 items, 20 MB: files of 1-64 KiB plus a few of 1-4 MiB
    for d in range(10):
        for f in range(29):
            yield f"dir{d:02}/asset{f:03}.bin", rng.randint(1024, 64 * 1024)
    for f in range(4):
        yield f"big/blob{f}.bin", rng.randint(1 << 20, 4 << 20)

def many(rng):
    # 4000 items of 0-8 KiB, at most 99 items per directory
    for d in range(41):
        for f in range(97):
            yield f"d{d:02}/f{f:03}.dat", rng.randint(0, 8 * 1024)

def large(rng):
    # 200 files of 256 KiB-8 MiB (log-uniform), about 400 MB
    for f in range(200):
        size = int(math.exp(rng.uniform(math.log(256 << 10), math.log(8 << 20))))
        yield f"part{f // 50}/chunk{f:03}.bin", size

def dirs(rng):
    # 2000 directories of one file each: memory that grows with the directories shows here
    for a in range(20):
        for b in range(100):
            yield f"a{a:02}/b{b:03}/f.bin", rng.randint(1, 4096)

def huge(rng):
    # 250 files of 8 MiB without data (holes read as zeros): an image of 2.11 GB, just below
    # the 2 GiB the format holds
    for f in range(250):
        yield f"part{f // 50}/hole{f:03}.bin", 8 << 20

make("small", small)
make("many", many)
make("large", large)
make("dirs", dirs)
make("huge", huge, sparse=True)

# A 64 MiB host ROM with its marker near the end, where the search has to read all of it.
attach = os.path.join(work, "attach")
if not os.path.exists(attach + ".done"):
    write(os.path.join(attach, "host.nds"), 64 << 20, random.Random(2), (64 << 20) - 4096)
    write(os.path.join(attach, "d0.kid"), 32 << 20, random.Random(3))
    write(os.path.join(attach, "d1.kid"), 32 << 20, random.Random(4))
    open(attach + ".done", "w").close()
PY

# Runs one command under /usr/bin/time -v; prints "microseconds peak-rss-KiB". The dirty
# pages of the previous run are written out first, so that their writeback does not land in
# this one's time.
measure() {
  local log="$WORK/time.log" start end
  sync
  start=$(date +%s%N)
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>&1 || { echo "run.sh: failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# bench LABEL GOAL ROUNDS KIVOFS-COMMAND... -- FLOOR-COMMAND...
bench() {
  local label="$1" goal="$2" rounds="$3"
  shift 3
  local kivofs=() floor=()
  while [[ "$1" != "--" ]]; do kivofs+=("$1"); shift; done
  shift
  floor=("$@")
  local kt="" ft="" rss=0 t m
  for ((round = 0; round < rounds; round++)); do
    read -r t m < <(measure "${kivofs[@]}")
    kt+="$t "
    rss=$(( rss > m ? rss : m ))
    read -r t m < <(measure "${floor[@]}")
    ft+="$t "
  done
  local km fm
  km=$(tr ' ' '\n' <<<"$kt" | grep . | median)
  fm=$(tr ' ' '\n' <<<"$ft" | grep . | median)
  awk -v l="$label" -v k="$km" -v f="$fm" -v g="$goal" -v r="$rss" 'BEGIN {
    ratio = k / f; mib = r / 1024
    met = (g == "-" || ratio <= g + 0) && mib <= 8 ? "yes" : "no"
    printf "%-42s %9.3f %9.3f %8.2f %7s %9.1f %4s\n", l, k / 1e6, f / 1e6, ratio,
           (g == "-" ? "-" : "<= " g), mib, met
  }'
}

# Builds the image of tree $1, extracts it to $T/$1.copy and mounts it on $T/$1.mnt, then
# reads both once so that the rounds find them in the page cache.
MOUNTED=()
trap 'for m in "${MOUNTED[@]}"; do fusermount3 -u "$m"; done' EXIT
mount_image() {
  local tree=$1
  "$KIVOFS" build "$T/$tree" -o "$T/$tree.kid" -q
  rm -rf "$T/$tree.copy"
  "$KIVOFS" extract "$T/$tree.kid" "$T/$tree.copy" >/dev/null
  mkdir -p "$T/$tree.mnt"
  "$KIVOFS" mount "$T/$tree.kid" "$T/$tree.mnt"
  MOUNTED+=("$T/$tree.mnt")
  find "$T/$tree.mnt" "$T/$tree.copy" -type f -print0 | xargs -0 cat > /dev/null
  ls -lR "$T/$tree.mnt" "$T/$tree.copy" > /dev/null
}
cat_all='find "$1" -type f -print0 | xargs -0 cat > /dev/null'

T="$WORK"
A="$WORK/attach"
echo "kivofs: $KIVOFS; $ROUNDS rounds; $(nproc) cores"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-42s %9s %9s %8s %7s %9s %4s\n' work "kivofs s" "floor s" "x floor" goal "RSS MiB" met
for work in $WORKS; do
  case "$work" in
    small|many|large)
      goal=$([[ $work == small ]] && echo 1.00 || { [[ $work == many ]] && echo 1.10 || echo 0.95; })
      bench "build $work" "$goal" "$ROUNDS" "$KIVOFS" build "$T/$work" -o "$T/out.kid" -q -- \
        bash -c 'find "$1" -type f -print0 | xargs -0 cat > "$2"' _ "$T/$work" "$T/out.cat" ;;
    dirs)
      bench "build dirs (2,000 directories)" - "$ROUNDS" "$KIVOFS" build "$T/dirs" -o "$T/out.kid" \
        -q -- bash -c 'find "$1" -type f -print0 | xargs -0 cat > "$2"' _ "$T/dirs" "$T/out.cat" ;;
    huge)
      bench "build huge (2.11 GB image, holes)" - "$(( ROUNDS < 3 ? ROUNDS : 3 ))" \
        "$KIVOFS" build "$T/huge" -o "$T/out.kid" -q -- \
        bash -c 'find "$1" -type f -print0 | xargs -0 cat > "$2"' _ "$T/huge" "$T/out.cat" ;;
    attach)
      bench "attach 64 MiB + 2 x 32 MiB, marker at end" 1.20 "$ROUNDS" \
        "$KIVOFS" attach "$A/host.nds" -o "$A/out.nds" --drive0 "$A/d0.kid" --drive1 "$A/d1.kid" \
        --saveflash -- bash -c 'cat "$1" "$2" "$3" > "$4"' _ "$A/host.nds" "$A/d0.kid" \
        "$A/d1.kid" "$A/out.cat" ;;
    mount)
      mount_image large
      mount_image many
      mkdir -p "$T/fresh.mnt"
      bench "mount: cat of every file (large)" 1.50 "$ROUNDS" bash -c "$cat_all" _ "$T/large.mnt" \
        -- bash -c "$cat_all" _ "$T/large.copy"
      bench "mount: ls -lR of 4,000 items (many)" 2.00 "$ROUNDS" ls -lR "$T/many.mnt" -- \
        ls -lR "$T/many.copy"
      # The first read after mounting, mount and unmount included: nothing in the page cache.
      bench "mount: mount, cat of every file, unmount" - "$ROUNDS" bash -c \
        '"$1" mount "$2" "$3" && find "$3" -type f -print0 | xargs -0 cat > /dev/null; fusermount3 -u "$3"' \
        _ "$KIVOFS" "$T/large.kid" "$T/fresh.mnt" -- bash -c "$cat_all" _ "$T/large.copy" ;;
    *) echo "run.sh: no work '$work' (small many large dirs huge attach mount)" >&2; exit 2 ;;
  esac
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "met: the ratio is within the goal and the peak RSS within 8 MiB"
rm -f "$T/out.kid" "$T/out.cat" "$A/out.nds" "$A/out.cat" "$WORK/time.log"
