#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one fuzz target for a bounded time on a copy of the corpus.
#   run-fuzz.sh TARGET CORPUS WORKDIR SECONDS
# By hand, for longer: tests/fuzz/run-fuzz.sh build/tests/fuzz/clang/fuzz_reports \
#   tests/fuzz/corpus /tmp/fuzz-work 3600
target="$(realpath "$1")" corpus="$(realpath "$2")" work="$3" seconds="$4"
if [ ! -x "$target" ]; then
    echo "$target was not built; see $(dirname "$target").log" >&2
    exit 1
fi
mkdir -p "$work/corpus"
cp -n "$corpus"/* "$work/corpus/" 2>/dev/null
cd "$work" || exit 1
# Qt's caches live until exit; leaks are not what this run looks for.
ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 "$work/corpus"
