#!/usr/bin/env bash
# Fails on an include that points upward or sideways where the layering forbids it, and on a
# window, GL, audio or dialog library header included outside src/Platform.
#
# Floors, lowest first; a folder may include its own floor's folders only where they are joined
# (same floor number here), and any lower floor. Physics and Platform see only themselves.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

declare -A floor=(
    [Platform]=0 [Physics]=0
    [Core]=1
    [Render]=2 [Sound]=2 [Input]=2
    [Race]=3 [Interface]=3
    [Particles]=4 [DynamicSky]=4
    [Weapons]=5
    [ScriptFunctions]=6
    [Application]=7 [Main.cpp]=7
)
# Folders that see nothing but themselves (and the standard library).
declare -A sealed=([Platform]=1 [Physics]=1)
system_headers='^(SDL|GL/|GLES|EGL/|epoxy/|AL/|sndfile|gtk/|gdk/|glib|webkit2/|X11/)'

status=0
while IFS= read -r file; do
    rel=${file#src/}
    folder=${rel%%/*}
    [[ -n ${floor[$folder]+x} ]] || { echo "layering: $file lies in a folder with no floor ($folder)"; status=1; continue; }
    own=${floor[$folder]}
    lineno=0
    while IFS= read -r line; do
        lineno=$((lineno + 1))
        if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([A-Za-z]+)/ ]]; then
            target=${BASH_REMATCH[1]}
            [[ $target == "$folder" ]] && continue
            if [[ -n ${sealed[$folder]+x} ]]; then
                echo "layering: $file:$lineno: $folder includes $target; $folder sees only itself"
                status=1
            elif [[ -z ${floor[$target]+x} ]]; then
                echo "layering: $file:$lineno: includes $target, which is no known folder"
                status=1
            elif ((floor[$target] > own)); then
                echo "layering: $file:$lineno: $folder includes upward into $target"
                status=1
            fi
        elif [[ $folder != Platform && $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
            header=${BASH_REMATCH[1]}
            if [[ $header =~ $system_headers ]]; then
                echo "layering: $file:$lineno: <$header> belongs behind src/Platform"
                status=1
            fi
        fi
    done <"$file"
done < <(git ls-files --cached --others --exclude-standard 'src/*.cpp' 'src/*.h')

# Tests and tools may use what they test, but the platform's libraries stay behind its interfaces.
while IFS= read -r file; do
    case $file in tests/Platform/*) continue ;; esac
    if grep -qE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<${system_headers#^}" "$file"; then
        echo "layering: $file includes a platform library header outside tests/Platform"
        status=1
    fi
done < <(git ls-files --cached --others --exclude-standard 'tests/*.cpp' 'tests/*.h' 'tools/*.cpp' 'tools/*.h' 'bench/*.cpp')
exit $status
