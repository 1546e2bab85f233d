#!/usr/bin/env bash
# make-game-root.sh BUILD_DIR GAME_DIR: lays out a game root (the working directory the game
# runs in) from the demo data in data/.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$1"; game="$2"
mkdir -p "$game"
if [[ -d "$src/data" ]] && [[ -n "$(ls -A "$src/data" 2>/dev/null)" ]]; then
  mkdir -p "$game/Data"
  cp -r "$src/data/." "$game/Data/"
fi
