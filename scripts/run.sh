#!/bin/sh
# Starts glimra from the build directory on the bundled sample volume.
BUILD=${1:-build}
cd "$BUILD" || exit 1
if [ -x ./zvftool ] && [ ! -f phantom.zvf ]; then
    ./zvftool sample phantom phantom.zvf || true
fi
if [ -f phantom.zvf ]; then
    exec ./glimra -d phantom.zvf
fi
exec ./glimra
