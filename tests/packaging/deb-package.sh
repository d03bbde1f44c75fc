#!/bin/bash
# Builds the .deb as the README says (cpack -G DEB) and checks it as Debian would: lintian
# reports no error and no warning, the changelog names the package's version, and the
# manual page kivofs.1 in it has a subsection for every subcommand of `kivofs --help` with
# every option of that subcommand's --help; the kit for ROM projects in it is found by
# find_package(KivoFS) wherever the package's files lie.
#   deb-package.sh <build dir> <kivofs> <scratch dir> [cpack]
set -euo pipefail
build=$1 kivofs=$2 scratch=$3 cpack=${4:-cpack}
for tool in lintian man "$cpack"; do
  command -v "$tool" >/dev/null || { echo "missing $tool: scripts/common.sh installs it"; exit 1; }
done
rm -rf "$scratch"
mkdir -p "$scratch"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" ||
  { cat "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/*.deb)
deb=${debs[0]}
# Root is what CI runs as; lintian only remarks on it.
report=$(lintian --fail-on error,warning "$deb" 2>&1) && status=0 || status=$?
echo "lintian ${deb##*/}: exit $status"
grep -v '^running with root privileges' <<<"$report" || true
((status == 0)) || { echo "FAIL: lintian"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
root=$scratch/root
dpkg-deb -x "$deb" "$root"

version=$(dpkg-deb -f "$deb" Version)
top=$(zcat "$root/usr/share/doc/kivofs-utils/changelog.gz" | head -1)
[[ $top == "kivofs-utils ($version) "* ]] ||
  fail "the changelog's latest entry is '$top', the package's version $version"

page=$(LC_ALL=C MANWIDTH=200 man -l "$root/usr/share/man/man1/kivofs.1.gz")
for sub in $("$kivofs" --help | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p'); do
  # The subsection of SUB: from its heading to the next heading.
  section=$(awk -v head="   kivofs $sub " 'index($0, head) == 1 { on = 1; next }
                                            /^[^ ]|^   [^ ]/ { on = 0 } on' <<<"$page")
  [ -n "$section" ] || { fail "kivofs.1 has no subsection 'kivofs $sub'"; continue; }
  for option in $("$kivofs" "$sub" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
    [[ $option == -h || $option == --help ]] && continue
    grep -qE -- "(^|[ ,])$option([ ,]|$)" <<<"$section" ||
      fail "kivofs.1 does not list $option under 'kivofs $sub'"
  done
done
for file in usr/share/kivofs/kivofs.mk usr/share/kivofs/reader/kivofs_reader.c \
            usr/share/kivofs/reader/kivofs_reader.h usr/share/kivofs/reader/README.md \
            usr/share/kivofs/reader/LICENSE usr/lib/cmake/KivoFS/KivoFSConfig.cmake; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
mkdir -p "$scratch/consumer"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\nfind_package(KivoFS 1 REQUIRED)\n%s\n' \
  'message(STATUS "kivofs at ${KIVOFS_EXECUTABLE}")' >"$scratch/consumer/CMakeLists.txt"
found=$(cmake -S "$scratch/consumer" -B "$scratch/consumer/build" -DCMAKE_PREFIX_PATH="$root/usr" 2>&1) ||
  fail "find_package(KivoFS) in the unpacked package: $found"
grep -qF -- "-- kivofs at $root/usr/bin/kivofs" <<<"$found" || fail "the package names another kivofs: $found"
if ((failures)); then exit 1; fi
echo "package checked: lintian clean, changelog $version, kivofs.1 complete, the kit relocatable"
