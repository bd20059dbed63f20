#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the serial engine's tests with AddressSanitizer+UBSan and with
# ThreadSanitizer (separate build trees) and runs them; fails on any finding.
# Usage: tests/serial/run-sanitizers.sh [build-root]   (default: build-sanitize)
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
root=${1:-$src/build-sanitize}
targets="tst_serialport tst_serialrules"

cmake -S "$src" -B "$root/asan" -G Ninja -DORVIK_SANITIZE=ON >/dev/null
ninja -C "$root/asan" $targets
cmake -S "$src" -B "$root/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread >/dev/null
ninja -C "$root/tsan" tst_serialport

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in $targets; do
  "$root/asan/tests/$t"
done
# The tests start ser2net (fork and exec); the child starts no thread before exec.
TSAN_OPTIONS="halt_on_error=1 exitcode=66 die_after_fork=0 suppressions=$src/tests/serial/tsan.supp" \
  "$root/tsan/tests/tst_serialport"
echo "serial sanitizer runs: clean"
