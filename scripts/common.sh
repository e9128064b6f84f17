# Shared by the scripts in this folder: package installation and build folders.
# Sourced, not run.

set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev qtbase5-dev libqt5serialport5-dev
                libqt5charts5-dev libqt5sql5-sqlite libqt5sql5-psql libbenchmark-dev
                qttranslations5-l10n)
# The same sources also build against Qt 6 (Debian 12 has 6.4; its Xml DOM is in qt6-base-dev).
# Qt 6's Charts needs the OpenGL development files, which qt6-charts-dev does not pull in.
QT6_PACKAGES=(qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite
              libqt6sql6-psql qt6-translations-l10n)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs, without questions, those of the given Debian packages that are missing.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}
