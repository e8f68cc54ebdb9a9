# Sourced by the test scripts: start_xvfb N... starts Xvfb on the first of
# the displays N that is free, exports DISPLAY, sets XVFB_PID and waits for
# its socket.
start_xvfb() {
    for n in "$@"; do
        if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
            Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            XVFB_PID=$!
            export DISPLAY=:$n
            break
        fi
    done
    i=0
    while [ $i -lt 50 ] && [ ! -e /tmp/.X11-unix/X${DISPLAY#:} ]; do sleep 0.1; i=$((i+1)); done
}

# start_desktop N...: a private Xvfb as start_xvfb starts it, with openbox
# managing its windows as on a desktop; sets XVFB_PID and WM_PID (both to be
# killed by the caller).
start_desktop() {
    unset DISPLAY
    start_xvfb "$@"
    openbox >/dev/null 2>&1 &
    WM_PID=$!
    sleep 1
}
