#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures (once) and builds the clang fuzz tree. Never fails the calling
# build: the outcome is in <tree>.log, and the fuzz tests report it.
src="$1" tree="$2" cxx="$3" cmake="$4"
log="$tree.log"
{
    if [ ! -f "$tree/build.ninja" ]; then
        "$cmake" -S "$src" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER="$cxx" -DORVIK_FUZZ=ON -DORVIK_SANITIZE=ON
    fi &&
    "$cmake" --build "$tree" --target fuzz_reports fuzz_dispatch fuzz_http
} >"$log" 2>&1 || echo "fuzz build failed; see $log" >&2
exit 0
