# SPDX-License-Identifier: GPL-3.0-or-later
# Debian packages, by purpose; installed with apt-get when missing (as root,
# or through sudo), otherwise listed for the user to install.
#
# ORVIK_BUILD_PACKAGES: building the two programs and the package, and
# running the panel (scripts/demo, scripts/package, scripts/screenshots).
# The fonts-* packages are the only fonts the suite lets the program see
# (cmake/Fonts.cmake reads them from this line). The history needs Qt's
# SQLite driver and the History window QCustomPlot (its -dev package also
# brings Qt 5's, which nothing here uses); libmosquitto-dev is the MQTT
# publisher's client library (its headers; the program loads the runtime,
# libmosquitto1, when the publisher first starts, and the package names
# it). The station page's server is its own on Qt Network, HTTP and
# WebSocket, as Qt HTTP Server 6.4 keeps none of the limits it needs and Qt
# WebSockets 6.4 takes unmasked frames (docs/network.md); its test talks to
# it with Qt WebSockets' client (qt6-websockets-dev, configured with the
# build; the program does not link it). dpkg-dev gives dpkg-buildflags and
# dpkg-buildpackage; debhelper builds the package from debian/
# (scripts/package). Qt's private headers (qt6-base-private-dev): CMake
# configures every test with the build, the accessibility test with Qt's
# private GUI target, so a configure without them stops (the package's
# Build-Depends name them too).
ORVIK_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev libqt6sql6-sqlite libqcustomplot-dev libmosquitto-dev qt6-websockets-dev fonts-liberation2 fonts-crosextra-carlito fonts-dejavu-core dpkg-dev debhelper)
# ORVIK_TEST_PACKAGES: what the test suite and the benchmarks need on top
# (scripts/test, scripts/bench): fc-list, the package checkers, the AT-SPI bus and an X server for
# the screen-reader test and the held-keys test, xdotool with which that
# test holds keys down on its X server (X's own auto-repeat), Qt's VNC
# platform (qt6-qpa-plugins) through which a test presses keys in the panel
# program, Hamlib's ampctld and ampctl and its rigctld and rigctl (the
# dummy radio the amplifier follows),
# and ser2net, whose binary the tests start themselves on 127.0.0.1;
# setpriv (util-linux) runs tests as an unprivileged user, unshare (util-linux)
# and ip (iproute2) give a test a private network with a veth pair; sqlite3 reads
# the history files the tests write; the MQTT broker mosquitto, its clients
# and its password tool, and openssl for the tests' own certificate
# authority; the station page's browser test and benchmark drive Debian's
# Chromium, headless, through chromium-driver with python3-selenium.
ORVIK_TEST_PACKAGES=(fontconfig desktop-file-utils appstream lintian systemd python3-minimal python3-gi gir1.2-atspi-2.0 at-spi2-core xvfb xdotool qt6-qpa-plugins dbus-daemon dbus-session-bus-common libhamlib-utils ser2net util-linux iproute2 sqlite3 mosquitto mosquitto-clients openssl chromium chromium-driver python3-selenium)

# ORVIK_CHROOT_PACKAGES: debootstrap makes the clean Debian 12 chroot in
# which scripts/package-in-chroot builds the source package once, by hand
# (neither CI nor the suite runs it).
ORVIK_CHROOT_PACKAGES=(debootstrap)

# ensure_deps build|test|chroot: installs what the purpose needs (test
# includes build; chroot is only its own list, scripts/package brings the
# build list itself).
ensure_deps() {
    local wanted=("${ORVIK_BUILD_PACKAGES[@]}")
    [ "${1:-build}" = test ] && wanted+=("${ORVIK_TEST_PACKAGES[@]}")
    [ "${1:-build}" = chroot ] && wanted=("${ORVIK_CHROOT_PACKAGES[@]}")
    local missing=()
    local p
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing Debian packages: ${missing[*]}" >&2
            echo "Install them as root: apt-get install ${missing[*]}" >&2
            exit 1
        fi
        root=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${root[@]}" apt-get update -qq
    # A daemon among them (ser2net and mosquitto enable and start their
    # services) must not
    # start: policy-rc.d answers "not allowed" to every start during this
    # install, and the service is disabled afterwards. The tests start the
    # binary themselves.
    local policy=/usr/sbin/policy-rc.d ours=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\n# Written by orvik-control scripts/lib/deps.sh during an install.\nexit 101\n' |
            "${root[@]}" tee "$policy" >/dev/null
        "${root[@]}" chmod 755 "$policy"
        ours=1
        trap '"${root[@]}" rm -f "$policy"' EXIT
    fi
    local status=0
    "${root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
    if [ $ours = 1 ]; then
        "${root[@]}" rm -f "$policy"
        trap - EXIT
    fi
    [ $status = 0 ] || exit $status
    for p in "${missing[@]}"; do
        case $p in ser2net | mosquitto) ;; *) continue ;; esac
        if command -v systemctl >/dev/null 2>&1; then
            "${root[@]}" systemctl disable --quiet "$p.service" 2>/dev/null || true
            echo "$p installed with its service disabled (the tests run their own)."
        fi
    done
}
