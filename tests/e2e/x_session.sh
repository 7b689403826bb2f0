# Shared by the end-to-end tests, which start the program under a real X server (Xvfb)
# and drive it with xdotool as a user would. Every wait has a deadline, so a program that
# hangs or never shows its window fails the test instead of stalling it.

# The program's window is 536 x 453 logical pixels; the screen leaves room around it.
readonly x_screen="1024x768x24"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Ends the test as skipped (ctest's SKIP_RETURN_CODE) when there is no X server to run;
# tools/setup installs one, so in CI the test does run.
need_x_server() {
    if ! command -v xvfb-run >/dev/null; then
        echo "SKIP: xvfb-run is not installed (tools/setup installs xvfb, xauth and xdotool)"
        exit 77
    fi
    command -v xdotool >/dev/null || fail "xdotool is not installed (tools/setup installs it)"
}

# wait_until SECONDS WHAT COMMAND...: runs COMMAND until it succeeds; fails the test,
# naming WHAT, when SECONDS have passed first.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "waited ${seconds}s for $what"
        sleep 0.1
    done
}

# in_x_server LOG COMMAND...: runs COMMAND on a fresh Xvfb screen of its own, at most two
# minutes; on failure shows what COMMAND and the program wrote to LOG.
in_x_server() {
    local log=$1
    shift
    # Qt wants a private runtime folder and warns without one.
    export XDG_RUNTIME_DIR
    XDG_RUNTIME_DIR=$(dirname "$log")/runtime
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    if ! timeout 120 xvfb-run -a -s "-screen 0 $x_screen" "$@" >>"$log" 2>&1; then
        echo "--- what the run under Xvfb wrote:" >&2
        cat "$log" >&2
        fail "the run under Xvfb did not finish"
    fi
}

# The rest is for a COMMAND running under in_x_server.

# start_program PROGRAM LOG: starts PROGRAM on the X screen at one logical pixel per
# screen pixel, so that window coordinates are the layout's, and waits for its window.
# Sets program_pid and main_window.
start_program() {
    env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_ENABLE_HIGHDPI_SCALING \
        QT_QPA_PLATFORM=xcb "$1" >>"$2" 2>&1 &
    program_pid=$!
    trap 'kill "$program_pid" 2>/dev/null || true' EXIT # also when the test fails half-way
    main_window=""
    wait_until 30 "the program's window" program_window_shown
}

program_window_shown() {
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended before it showed its window"
    main_window=$(xdotool search --onlyvisible --name '^Quellomir$' 2>/dev/null | head -n 1)
    [ -n "$main_window" ]
}

# click_at X Y: a left click at the point of the main window X, Y logical pixels from its
# top-left corner. Without a window manager the window has no frame, so that corner is
# the window's position on the screen.
click_at() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$main_window")"
    xdotool mousemove $((X + $1)) $((Y + $2)) click 1
}

# message_box: prints the id of a shown window titled "Quellomir" other than the main
# window, the message box the program shows with its application title.
message_box() {
    local window
    for window in $(xdotool search --onlyvisible --name '^Quellomir$' 2>/dev/null); do
        if [ "$window" != "$main_window" ]; then
            echo "$window"
            return 0
        fi
    done
    return 1
}

# shown_windows: the titles of the windows on the screen, to say what came instead.
shown_windows() {
    local window titles=()
    for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        titles+=("\"$(xdotool getwindowname "$window" 2>/dev/null)\"")
    done
    echo "${titles[*]:-none}"
}

# close_message_box WINDOW: presses Return on the message box, as its OK button has the
# focus, and waits until it has gone.
close_message_box() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "the message box did not take the focus"
    xdotool key Return
    wait_until 10 "the message box to close" message_box_gone "$1"
}

message_box_gone() {
    ! xdotool search --onlyvisible --name '^Quellomir$' 2>/dev/null | grep -qx "$1"
}

# close_program: ends the program, which has nothing to save at close, and waits until
# it has. It must still be running: a crash along the way fails the test.
close_program() {
    kill -0 "$program_pid" 2>/dev/null || fail "the program ended on its own"
    kill -TERM "$program_pid"
    wait_until 10 "the program to end" program_ended
}

program_ended() {
    ! kill -0 "$program_pid" 2>/dev/null
}
