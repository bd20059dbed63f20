# Debian packages the build, the tests and the package need; installed with
# apt-get when missing and running as root, otherwise listed for the user to
# install. The fonts-* packages are the only fonts the suite lets the program
# see (cmake/Fonts.cmake reads them from this line).
ORVIK_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev fonts-liberation2 fonts-crosextra-carlito fonts-dejavu-core fontconfig desktop-file-utils dpkg-dev lintian python3-minimal python3-gi gir1.2-atspi-2.0 at-spi2-core xvfb dbus-daemon dbus-session-bus-common libhamlib-utils ser2net util-linux)

ensure_deps() {
    local missing=()
    local p
    for p in "${ORVIK_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    elif command -v sudo >/dev/null 2>&1; then
        echo "Installing with sudo: ${missing[*]}"
        sudo apt-get update -qq
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
}
