#!/usr/bin/env bash
# make-game-root.sh BUILD_DIR GAME_DIR: lays out a game root (the working directory the game runs
# in) from the demo data in data/ and the assets the build generates. The player's own
# "config.cfg" and "Actions.cfg" are kept when they are already there.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"; game="$2"
mkdir -p "$game"
for f in config.cfg Actions.cfg; do
  [[ -e "$game/$f" ]] || cp "$src/data/$f" "$game/$f"
done
cp -r "$src/data/Data" "$game/"
"$build/bin/mkdata" "$game"
# Level 1's layout, from its text form.
mkdir -p "$game/Data/Levels"
"$build/bin/mklevel" "$src/tools/mklevel/level1.txt" "$game/Data/Levels/level1.lvl"
# The demo fonts, rendered from Debian's DejaVu fonts (their lines are in Data/Fonts/fonts.dat).
dejavu=/usr/share/fonts/truetype/dejavu
"$build/bin/mkfont" "$dejavu/DejaVuSans.ttf" 16 small "$game" >/dev/null
"$build/bin/mkfont" "$dejavu/DejaVuSans-Bold.ttf" 32 title "$game" >/dev/null
