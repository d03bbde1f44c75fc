#!/bin/sh
# Interrupted runs: build, attach, detach and extract, each sent SIGINT, SIGTERM, SIGHUP and
# SIGPIPE while its temporary exists, leave no temporary and the old output byte for byte, and
# end by that signal. strace stops the run (SIGSTOP) at its first dup (the temporary has just
# got its name) or at its first copy_file_range (it is being written); the test waits for that
# temporary and the stop, sends the signal to kivofs itself and lets it go on.
#   interrupted-runs.sh <kivofs>
. "$(dirname "$0")/scratch.sh"
cd "$dir"
mkdir src work
echo new >src/a.txt
"$kivofs" build src -o new.kid -q
head -c 4096 /dev/zero >host.gba
{ printf KivoFSDrive; head -c 17 /dev/zero; } | dd of=host.gba bs=1 seek=100 conv=notrunc 2>/dev/null
"$kivofs" attach host.gba --drive0 new.kid -o new.gba >/dev/null

# Each command's arguments (run in work/), and the old output it must leave alone.
arguments() {
  case $1 in
    build) echo build ../src -o out.kid -q ;;
    attach) echo attach ../host.gba --drive0 ../new.kid -o out.gba ;;
    detach) echo detach ../new.gba -o det ;;
    extract) echo extract ../new.kid ext ;;
  esac
}
output_of() {
  case $1 in
    build) echo out.kid ;; attach) echo out.gba ;; detach) echo det/drive0.kid ;; extract) echo ext/a.txt ;;
  esac
}
temporaries() { find work -name '.*.[0-9]*.tmp' | sort; }
stopped() { [ -r "/proc/$1/stat" ] && sed 's/^.*) \(.\).*/\1/' "/proc/$1/stat" | grep -q '[tT]'; }

# Runs one command under strace, stopped at its first call of `syscall`, and sends it the signal.
interrupt() {  # command signal syscall
  rm -rf work pid log && mkdir work work/det work/ext
  printf 'old output\n' >"work/$(output_of "$1")"
  cp "work/$(output_of "$1")" old
  (cd work && exec strace -f -o ../log -e trace="$3" -e inject="$3":signal=SIGSTOP:when=1 \
    sh -c 'echo $$ >../pid; exec env --default-signal "$@" >/dev/null' sh "$kivofs" $(arguments "$1")) &
  tracer=$!
  tries=0
  until [ -s pid ] && [ -n "$(temporaries)" ] && stopped "$(cat pid)"; do
    tries=$((tries + 1))
    [ $tries -lt 500 ] || { echo "$1: no temporary while stopped"; kill "$tracer"; exit 1; }
    sleep 0.01
  done
  kill -s "$2" "$(cat pid)"
  kill -s CONT "$(cat pid)"
  wait "$tracer" 2>/dev/null || true
}

failures=0
for command in build attach detach extract; do
  for signal in INT TERM HUP PIPE; do
    for syscall in dup copy_file_range; do
      interrupt "$command" "$signal" "$syscall"
      row="$command SIG$signal at $syscall"
      grep -Eq "^$(cat pid) +\+\+\+ killed by SIG$signal \+\+\+$" log || {
        echo "$row: did not end by the signal:"; tail -n 3 log; failures=$((failures + 1)); }
      [ -z "$(temporaries)" ] || { echo "$row: left $(temporaries)"; failures=$((failures + 1)); }
      cmp -s old "work/$(output_of "$command")" || { echo "$row: old output changed"; failures=$((failures + 1)); }
    done
  done
done
[ $failures -eq 0 ] || exit 1
echo ok
