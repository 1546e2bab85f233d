#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless. A second build with
# AddressSanitizer and UndefinedBehaviorSanitizer runs the unit tests, so memory faults fail too.
# CTest's summary of the full run comes last.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh || exit 1
jobs="$(nproc)"

# Style and layering are checked before anything is built.
scripts/check-format.sh || exit 1
scripts/check-layers.sh || exit 1

# No screen, no sound card: the tests use offscreen GL and a silent audio device.
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}"
export ALSOFT_DRIVERS="${ALSOFT_DRIVERS:-null}"
export VASTREL_SHELL=off

# The sanitizer tree runs the unit tests only, so it builds only their programs (and the tools
# they run); its run goes on beside the normal tree's build.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVASTREL_SANITIZE=ON -DVASTREL_BENCH=OFF >/dev/null || exit 1
cmake --build build-asan -j"$jobs" --target unit_tests || exit 1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -L unit -j"$jobs" --output-on-failure >build-asan/ctest.log 2>&1 &
asan_run=$!

cmake -S . -B build -G Ninja >/dev/null || { wait "$asan_run"; exit 1; }
cmake --build build -j"$jobs" || { wait "$asan_run"; exit 1; }

status=0
wait "$asan_run" || status=1
echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
grep -E 'tests passed|tests failed|Total Test time' build-asan/ctest.log
if ((status)); then grep -E 'Failed|\*\*\*' build-asan/ctest.log | head -50; fi

echo "== all tests =="
ctest --test-dir build -j"$jobs" --output-on-failure || status=1
exit $status
