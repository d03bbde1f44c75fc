#!/usr/bin/env bash
# Times `kivofs build` against the floor (reading every file once with cat) and against
# genromfs (a read-only image from a directory) on three generated asset trees.
#
#   bench/build_bench.sh [path/to/kivofs] [rounds]
#
# Trees and outputs live under $KIVOFS_BENCH_DIR (default /tmp/kivofs-bench); the trees are
# generated once with a fixed seed and reused. Rounds are interleaved (kivofs, floor,
# genromfs, kivofs, ...) so that drift in the machine's load hits all three alike.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
KIVOFS="${1:-$ROOT/build/cli/kivofs}"
ROUNDS="${2:-5}"
WORK="${KIVOFS_BENCH_DIR:-/tmp/kivofs-bench}"

for tool in "$KIVOFS" /usr/bin/time genromfs python3; do
  command -v "$tool" >/dev/null || { echo "build_bench.sh: missing $tool" >&2; exit 1; }
done
mkdir -p "$WORK"

# Deterministic, incompressible trees: contents come from a seeded generator.
python3 - "$WORK" <<'PY'
import math, os, random, sys
work = sys.argv[1]

def make(name, files):
    root = os.path.join(work, name)
    stamp = os.path.join(work, name + ".done")
    if os.path.exists(stamp):
        return
    rng = random.Random(20061503)
    for relative, size in files(rng):
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            left = size
            while left:
                chunk = min(left, 1 << 20)
                out.write(rng.randbytes(chunk))
                left -= chunk
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

make("small", small)
make("many", many)
make("large", large)
PY

# Runs one command under /usr/bin/time -v; prints "seconds peak-rss-KiB".
measure() {
  local log="$WORK/time.log" start end
  start=$(date +%s%N)
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  local rss
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  echo "$(( (end - start) / 1000 )) $rss"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

printf '%-6s %-8s %12s %10s %14s\n' tree tool "median (s)" "x floor" "peak RSS (KiB)"
for tree in small many large; do
  T="$WORK/$tree"
  declare -A times=() rss=()
  for ((round = 0; round < ROUNDS; round++)); do
    read -r t m < <(measure "$KIVOFS" build "$T" -o "$WORK/out.kid" -q)
    times[kivofs]+="$t "; rss[kivofs]=$(( ${rss[kivofs]:-0} > m ? ${rss[kivofs]:-0} : m ))
    read -r t m < <(measure bash -c 'find "$1" -type f -print0 | xargs -0 cat > "$2"' _ "$T" "$WORK/out.cat")
    times[floor]+="$t "; rss[floor]=$(( ${rss[floor]:-0} > m ? ${rss[floor]:-0} : m ))
    read -r t m < <(measure genromfs -f "$WORK/out.romfs" -d "$T")
    times[genromfs]+="$t "; rss[genromfs]=$(( ${rss[genromfs]:-0} > m ? ${rss[genromfs]:-0} : m ))
  done
  floor=$(tr ' ' '\n' <<<"${times[floor]}" | grep . | median)
  for tool in kivofs floor genromfs; do
    med=$(tr ' ' '\n' <<<"${times[$tool]}" | grep . | median)
    awk -v tree="$tree" -v tool="$tool" -v m="$med" -v f="$floor" -v r="${rss[$tool]}" \
      'BEGIN {printf "%-6s %-8s %12.3f %10.2f %14d\n", tree, tool, m / 1e6, m / f, r}'
  done
  unset times rss
done
rm -f "$WORK/out.kid" "$WORK/out.cat" "$WORK/out.romfs" "$WORK/time.log"
