#!/usr/bin/env bash
# End to end: the built program, under a real X server, with a settings file naming two
# folders made here. The test presses "3. Start Comparing" and "4. Start Syncing" in the
# window, closes the end message, closes the program and then reads the two folders.
# Usage: sync_through_the_window.sh PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"
program=$1

# Under Xvfb: the part a user does.
if [ "${2:-}" = --drive ]; then
    start_program "$program" "$work/program.log"
    click_at 268 216 # "3. Start Comparing"
    # "4. Start Syncing" is off while the comparison runs; a click that came too early
    # is lost, so it is given again while no end message has come.
    box=""
    for attempt in 1 2 3; do
        click_at 268 432 # "4. Start Syncing"
        deadline=$((SECONDS + 10))
        until box=$(message_box) || ((SECONDS >= deadline)); do sleep 0.1; done
        [ -z "$box" ] || break
    done
    [ -n "$box" ] ||
        fail "no end message came after \"4. Start Syncing\" was pressed; windows shown: $(shown_windows)"
    close_message_box "$box"
    close_program
    exit 0
fi

need_x_server
[ -x "$program" ] || fail "no program at $program"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export work
one=$work/one
two=$work/two

# write_file PATH CONTENT SECONDS: a file last written at SECONDS since 1970.
write_file() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$2" >"$1"
    touch -m -d "@$3" "$1"
}
write_file "$one/only-in-one.txt" "only in folder 1" 1600000100.250000000
write_file "$two/only-in-two.txt" "only in folder 2" 1600000200.500000000
write_file "$one/report.txt" "the newer report" 1700000000.125000000
write_file "$two/report.txt" "the older report" 1600000000
write_file "$one/deep/er/in-a-subfolder.txt" "from a subfolder" 1650000000.750000000
write_file "$one/same.txt" "left as it is in 1" 1600000300
write_file "$two/same.txt" "left as it is in 2" 1600000300
write_file "$one/~lock.txt" "an editor's lock file" 1600000400

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME"
printf '[Quellomir]\nListView1=%s/\nListView2=%s/\n' "$one" "$two" >"$XDG_CONFIG_HOME/Venmarro.conf"

in_x_server "$work/program.log" "$0" "$program" --drive

# expect FILE CONTENT SECONDS: FILE holds CONTENT and was last written at SECONDS, to the
# nanosecond.
problems=0
expect() {
    if [ ! -f "$1" ]; then
        echo "missing: $1" >&2
        problems=$((problems + 1))
        return
    fi
    local content time
    content=$(cat "$1")
    time=$(stat -c %.9Y "$1")
    if [ "$content" != "$2" ]; then
        echo "$1 holds \"$content\", not \"$2\"" >&2
        problems=$((problems + 1))
    fi
    if [ "$time" != "$3" ]; then
        echo "$1 was last written at $time, not $3" >&2
        problems=$((problems + 1))
    fi
}
# The copies, in the other folder's top, with the source's contents and time.
expect "$two/only-in-one.txt" "only in folder 1" 1600000100.250000000
expect "$one/only-in-two.txt" "only in folder 2" 1600000200.500000000
expect "$two/in-a-subfolder.txt" "from a subfolder" 1650000000.750000000
# The older namesake replaced by the newer one, and kept in the Trash (of this test's own).
expect "$two/report.txt" "the newer report" 1700000000.125000000
expect "$XDG_DATA_HOME/Trash/files/report.txt" "the older report" 1600000000.000000000
# What the sync only read stays as it was, and so do namesakes of the same time.
expect "$one/only-in-one.txt" "only in folder 1" 1600000100.250000000
expect "$two/only-in-two.txt" "only in folder 2" 1600000200.500000000
expect "$one/report.txt" "the newer report" 1700000000.125000000
expect "$one/deep/er/in-a-subfolder.txt" "from a subfolder" 1650000000.750000000
expect "$one/same.txt" "left as it is in 1" 1600000300.000000000
expect "$two/same.txt" "left as it is in 2" 1600000300.000000000
expect "$one/~lock.txt" "an editor's lock file" 1600000400.000000000

# Nothing else: the "~" file not copied, no temporary copy left, no subfolder made.
listing() { (cd "$1" && find . -mindepth 1 | sort | tr '\n' ' '); }
expected_one="./deep ./deep/er ./deep/er/in-a-subfolder.txt ./only-in-one.txt ./only-in-two.txt ./report.txt ./same.txt ./~lock.txt "
expected_two="./in-a-subfolder.txt ./only-in-one.txt ./only-in-two.txt ./report.txt ./same.txt "
if [ "$(listing "$one")" != "$expected_one" ]; then
    echo "folder 1 holds: $(listing "$one")" >&2
    echo "expected:       $expected_one" >&2
    problems=$((problems + 1))
fi
if [ "$(listing "$two")" != "$expected_two" ]; then
    echo "folder 2 holds: $(listing "$two")" >&2
    echo "expected:       $expected_two" >&2
    problems=$((problems + 1))
fi

if ((problems)); then
    echo "--- what the run under Xvfb wrote:" >&2
    cat "$work/program.log" >&2
    fail "$problems things are not as the sync should have left them"
fi
echo "PASS: the window compared and synced the two folders"
