#!/bin/bash
# Configures small projects against the installed kit: the package is found twice without
# harm and KivoFS::reader needs only C; each wrong call stops CMake with its own message.
#   errors.sh PREFIX WORK
set -euo pipefail
prefix=$1 work=$2
rm -rf "$work"
mkdir -p "$work/assets"
printf 'x' >"$work/assets/x.txt"
failures=0

configure() {  # configure NAME LANGUAGES CALLS: configures a project, output in $work/NAME.log
  mkdir -p "$work/$1"
  printf 'cmake_minimum_required(VERSION 3.25)\nproject(p LANGUAGES %s)\n%s\n' "$2" "$3" \
    >"$work/$1/CMakeLists.txt"
  cmake -S "$work/$1" -B "$work/$1/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/$1.log" 2>&1
}

good='find_package(KivoFS 1 REQUIRED)
find_package(KivoFS REQUIRED)
add_library(game STATIC game.c)
target_link_libraries(game PRIVATE KivoFS::reader)
kivofs_add_drive(data SOURCE ../assets OUTPUT data.kid NAME "Data" EXCLUDE "*.tmp" "*~")
kivofs_add_drive(save SOURCE ../assets OUTPUT save.kid)
kivofs_attach(rom HOST host.gba OUTPUT rom.gba DRIVE0 data DRIVE1 save SAVEFLASH NDS_HEADER)'
mkdir -p "$work/good"
printf '#include "kivofs_reader.h"\nint game(void) { return KFS_OK; }\n' >"$work/good/game.c"
if ! configure good C "$good"; then
  echo "FAIL: a correct project does not configure"
  cat "$work/good.log"
  failures=$((failures + 1))
fi

while IFS='|' read -r name call message; do
  if configure "$name" NONE "find_package(KivoFS REQUIRED)
${call//) /)$'\n'}"; then
    echo "FAIL: $name: configured"
    failures=$((failures + 1))
  elif [[ $(tr -s ' \n' ' ' <"$work/$name.log") != *"$message"* ]]; then
    echo "FAIL: $name: the message is not '$message'"
    cat "$work/$name.log"
    failures=$((failures + 1))
  fi
done <<'ROWS'
missing-source|kivofs_add_drive(d SOURCE nowhere OUTPUT d.kid)|kivofs_add_drive(d): the SOURCE folder
no-output|kivofs_add_drive(d SOURCE ../assets)|kivofs_add_drive(d): OUTPUT is required
unknown-keyword|kivofs_add_drive(d SOURCE ../assets OUTPUT d.kid LABEL x)|kivofs_add_drive(d): unknown argument 'LABEL'
drive1-alone|kivofs_add_drive(d SOURCE ../assets OUTPUT d.kid) kivofs_attach(r HOST h.gba OUTPUT r.gba DRIVE1 d)|kivofs_attach(r): DRIVE1 given without DRIVE0
not-a-drive|kivofs_attach(r HOST h.gba OUTPUT r.gba DRIVE0 assets)|kivofs_attach(r): 'assets' is not a drive made by kivofs_add_drive
attach-keyword|kivofs_add_drive(d SOURCE ../assets OUTPUT d.kid) kivofs_attach(r HOST h.gba OUTPUT r.gba DRIVE0 d SAVE_FLASH)|kivofs_attach(r): unknown argument 'SAVE_FLASH'
ROWS
[[ $(tr -s ' \n' ' ' <"$work/missing-source.log") == *"the SOURCE folder '$work/missing-source/nowhere' does not exist"* ]] ||
  { echo "FAIL: missing-source: the folder is not named"; failures=$((failures + 1)); }
((failures == 0)) && echo "CMake package: found twice, reader with C only, errors named"
