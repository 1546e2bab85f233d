#!/usr/bin/env bash
# Lays out the demo root the fuzz targets read in and takes each format's seed from it.
#   make-corpus.sh SOURCE_DIR BINARY_DIR ROOT CORPUS
set -euo pipefail
src="$1" bin="$2" root="$3" corpus="$4"
rm -rf "$root"
mkdir -p "$root" "$corpus"
cp -r "$src/data/." "$root/"
cd "$root"
"$bin/bin/mkdata" . >/dev/null
"$bin/bin/mklevel" "$src/tools/mklevel/level1.txt" Data/Levels/level1.lvl >/dev/null
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
if [[ -f $font ]]; then "$bin/bin/mkfont" "$font" 16 small . >/dev/null; fi
# A pack of two small folders, as the game would mount it.
packed="$(mktemp -d)"
mkdir -p "$packed/Fonts" "$packed/Levels"
cp Data/Fonts/fonts.dat "$packed/Fonts/"
cp Data/Levels/mission1.txt "$packed/Levels/"
"$bin/bin/mkpack" Data/game0.dat "$packed" >/dev/null
rm -rf "$packed"
"$bin/bin/fuzz_formats" | while read -r name path; do
  mkdir -p "$corpus/$name"
  if [[ -f $path ]]; then cp "$path" "$corpus/$name/demo"; fi
done
