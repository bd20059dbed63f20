#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs test functions as an unprivileged user: TEST SIM PROGRAM FUNCTION...
# As root, copies of the three (the build tree may not be readable by
# nobody) run as nobody; as anyone else they run as they are.
set -eu
test=$1 sim=$2 program=$3
shift 3
[ "$(id -u)" -ne 0 ] && exec env ORVIK_SIM="$sim" "$test" "$@"
if ! command -v setpriv >/dev/null 2>&1 || ! id nobody >/dev/null 2>&1; then
    echo "SKIP: needs setpriv (util-linux) and the user nobody to drop privileges" >&2
    exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/tests" "$dir/home"
cp "$test" "$dir/tests/" && cp "$sim" "$program" "$dir/" && chmod -R a+rX "$dir"
chown nobody:nogroup "$dir/home" && cd "$dir/home"
setpriv --reuid=nobody --regid=nogroup --clear-groups env -u XDG_RUNTIME_DIR -u FONTCONFIG_FILE \
    HOME="$dir/home" XDG_CONFIG_HOME="$dir/home" XDG_CONFIG_DIRS="$dir/home" \
    ORVIK_SIM="$dir/$(basename "$sim")" "$dir/tests/$(basename "$test")" "$@" || exit $?
