#!/bin/sh
# The core library builds without the toolkit: no file under src/ outside
# src/gui/ may include a wx header.
# usage: two_floors.sh BUILD_DIR SOURCE_DIR
src="$2/src"
found=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]wx/' "$src" | grep -v "^$src/gui/")
if [ -n "$found" ]; then
    echo "wx headers included outside src/gui/:"
    echo "$found"
    exit 1
fi
echo "core is free of wx"
