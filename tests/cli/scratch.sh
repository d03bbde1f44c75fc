# Sourced by the shell tests of kivofs, which take the program as their argument: sets
# $kivofs, and $dir, a scratch folder removed on exit.
set -eu
# LeakSanitizer cannot run under ptrace; the sanitizer build runs the strace tests too.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
kivofs=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/kivofs-test-XXXXXX")
trap 'rm -rf "$dir"' EXIT
