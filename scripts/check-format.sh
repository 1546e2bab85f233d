#!/usr/bin/env bash
# Fails when a C++ file under version control differs from what clang-format makes of it.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
status=0
while IFS= read -r f; do
    [[ -f "$f" ]] || continue
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f (run: clang-format -i $f)"
        status=1
    fi
done < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h')
exit $status
