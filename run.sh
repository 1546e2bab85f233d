#!/usr/bin/env bash
# Installs what is missing, builds, prepares the game root build/game and starts the game.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"
scripts/make-game-root.sh build build/game
if [[ -x build/bin/vastrel ]]; then
  cd build/game
  exec ../bin/vastrel "$@"
else
  echo "Built the engine libraries and tools in build/. The game program itself is not built yet."
fi
