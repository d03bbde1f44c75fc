#!/bin/sh
# Runs make with the dependency file of `kivofs build` over a generated tree: the image is
# repacked when a file is changed, added or removed anywhere in the tree, and not otherwise.
# Usage: depfile-make.sh KIVOFS
. "$(dirname "$0")/scratch.sh"
cd "$dir"

mkdir -p 'assets/gfx/tiles (1)' assets/levels
printf 'palette' > assets/gfx/title.pal
printf 'tiles' > 'assets/gfx/tiles (1)/a b#c$d:e%f*g|h[1].bin'
printf 'level one' > assets/levels/one.lvl
printf 'A tiny game.\n' > assets/readme.txt
printf 'assets.kid:\n\t%s build assets -o assets.kid --depfile assets.d -q\n-include assets.d\n' \
  "$kivofs" > Makefile

# Every run starts from fixed time stamps: the tree before the image, so that only what a
# step touches afterwards is newer, however coarse the file system's clock.
settle() {
  find assets -exec touch -h -d @1000000000 {} +
  touch -d @1000000100 assets.kid
}

# step NAME EXPECTED(ran|idle): runs make and checks whether the rule ran.
step() {
  echo "--- $1"
  make
  if [ "$(stat -c %Y assets.kid)" = 1000000100 ]; then ran=idle; else ran=ran; fi
  if [ "$ran" != "$2" ]; then
    echo "FAIL: $1: the rule was expected to be $2, it was $ran" >&2
    exit 1
  fi
  settle
}

step build ran
cat assets.d
step no-op idle
printf 'level one, harder' > assets/levels/one.lvl
step "change levels/one.lvl" ran
printf 'more tiles' > 'assets/gfx/tiles (1)/a b#c$d:e%f*g|h[1].bin'
step "change the file with the awkward name" ran
step no-op idle
printf 'two' > assets/levels/two.lvl
step "add levels/two.lvl" ran
"$kivofs" ls assets.kid levels/two.lvl >/dev/null
rm 'assets/gfx/tiles (1)/a b#c$d:e%f*g|h[1].bin'
step "remove the file with the awkward name" ran
rm -r assets/levels
step "remove levels/ and all it holds" ran
step no-op idle
echo "make reran the build exactly when the tree changed"
