#!/bin/sh
# The GUI tests of start-up, settings, window geometry and the remembered
# transfer function once more under a window manager (openbox on a private
# Xvfb), as on every desktop: the window is framed, mapped and activated in
# the manager's order, and a hidden window reports its size without the frame. Skipped (77) without Xvfb or openbox.
# Usage: sh gui_under_window_manager.sh BUILD_DIR SOURCE_DIR
BUILD=$1
SOURCE=$2
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb"; exit 77; }
command -v openbox >/dev/null 2>&1 || { echo "no openbox (sh scripts/setup.sh installs it)"; exit 77; }
[ -x "$BUILD/tests/glimra_gui_tests" ] || { echo "no $BUILD/tests/glimra_gui_tests"; exit 77; }
XVFB_PID=""
WM_PID=""
cleanup() {
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT INT TERM
. "$SOURCE/scripts/xvfb.sh"
start_desktop 89 88 87 86 85
export LIBGL_ALWAYS_SOFTWARE=1
"$BUILD/tests/glimra_gui_tests" --gtest_brief=1 \
    --gtest_filter='Startup.*:SettingsProgram.*:SettingsWindow.*:WindowGeometry.*:RememberedCurves.*:SettingsControlsTest.Save*'
