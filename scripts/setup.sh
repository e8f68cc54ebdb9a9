#!/bin/sh
# Installs the Debian packages glimra needs to build, run and test, only those missing.
# Usage: sh scripts/setup.sh [bench|fuzz|package]
#   bench  also the packages of the comparison with VTK (make bench-peer)
#   fuzz   also clang and libFuzzer (make fuzz only; make test needs neither)
#   package  also lintian, the checker of the .deb (make package)
set -e
# librsvg2-bin draws the PNG icons; CPack's .deb needs file (and dpkg-shlibdeps
# from build-essential); the others check the package (tests/scripts/package.sh).
# openbox is the window manager of the start-up test and of make soak.
# OME-Zarr pyramids: libblosc, libzstd and zlib decompress the chunks,
# nlohmann's JSON reads the metadata; python3-zarr (with numcodecs) is the
# independent reader and writer of the script test tests/scripts/zarr.sh.
PKGS="build-essential cmake pkg-config libwxgtk3.2-dev libglu1-mesa-dev libepoxy-dev \
libegl-dev libegl-mesa0 libgl1-mesa-dri zlib1g-dev libpng-dev libfreetype-dev libfontconfig-dev \
libblosc-dev libzstd-dev nlohmann-json3-dev python3-zarr python3-numcodecs python3-numpy \
fonts-liberation libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth x11-utils netpbm python3 \
libinsighttoolkit5-dev libtiff-dev ccache \
librsvg2-bin file desktop-file-utils libxml2-utils groff-base libglib2.0-bin openbox"
if [ "${1:-}" = bench ]; then
    # Debian's VTK renders through GLX even off screen, so it needs an X
    # display (the bench script starts Xvfb); procps gives uptime.
    PKGS="$PKGS python3-vtk9 python3-numpy procps"
fi
if [ "${1:-}" = fuzz ]; then
    PKGS="$PKGS clang libclang-rt-dev"
fi
if [ "${1:-}" = package ]; then
    PKGS="$PKGS lintian"
fi
missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "setup: installing$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
