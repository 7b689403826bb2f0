#!/usr/bin/env bash
# The command line of the built program, as a script or a timer runs it: without a display,
# with its exit statuses, and stopped by Ctrl+C in the middle of a sync.
# Usage: command_line.sh PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_DATA_HOME="$work/data" "$program" "$@"; }

# No display: one plain line instead of Qt's abort; the command line needs none.
status=0
message=$(headless 2>&1) || status=$?
[ "$status" = 2 ] || fail "a start without a display ended with $status"
[ "$(printf '%s\n' "$message" | wc -l)" = 1 ] && [[ $message == *"no display"* ]] || fail "without a display: $message"
headless --help | grep -q "quellomir sync DIR1 DIR2" || fail "--help"
headless --version | grep -q "^quellomir [0-9]" || fail "--version"
status=0; headless -h >/dev/full 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "-h onto a full disk ended with $status"

# In step, rows to do, done, and a folder that is not there.
mkdir -p "$work/one/sub" "$work/two"
echo a >"$work/one/sub/a.txt"
touch -d '2021-01-01' "$work/one/sub/a.txt"
status=0; headless compare "$work/one" "$work/two" >"$work/plan" || status=$?
[ "$status" = 1 ] || fail "compare with a row to do ended with $status"
[ "$(head -1 "$work/plan")" = "$work/one/sub/a.txt	will be copied to	$work/two/" ] || fail "plan: $(cat "$work/plan")"
# A reader that goes away ends the plan quietly, with 2.
set +o pipefail
headless compare "$work/one" "$work/two" 2>"$work/err" | true; status=${PIPESTATUS[0]}
set -o pipefail
[ "$status" = 2 ] || [ "$status" = 1 ] || fail "compare into a closed pipe ended with $status"
grep -q "Broken pipe" "$work/err" && fail "compare into a closed pipe said: $(cat "$work/err")"
headless sync --quiet "$work/one" "$work/two" >"$work/out" || fail "sync ended with $?"
[ ! -s "$work/out" ] || fail "a quiet sync printed: $(cat "$work/out")"
headless compare "$work/one" "$work/two" >/dev/null || fail "after the sync, compare still finds rows"
status=0; headless sync "$work/one" "$work/gone" 2>"$work/err" || status=$?
[ "$status" = 2 ] && grep -q "Folder 2 cannot be read: $work/gone/" "$work/err" || fail "missing folder: $status"

# Ctrl+C during a sync of a large file: the row is undone or finished, nothing is left half.
head -c 400M /dev/zero | tr '\0' 'q' >"$work/one/big.bin"
touch -d '2021-01-01' "$work/one/big.bin"
# With job control a program started in the background takes Ctrl+C as it would in front.
set -m
env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$work/data" "$program" sync "$work/one" "$work/two" \
    >"$work/out" 2>"$work/err" &
# Ctrl+C before the program has taken the signal over would end it as any program; wait
# until it has (SigCgt lists SIGINT, bit 2), however slowly a busy machine starts it.
for _ in $(seq 500); do
    caught=$(awk '/^SigCgt/ { print $2 }' "/proc/$!/status" 2>/dev/null || true)
    [ -n "$caught" ] && [ $((0x$caught & 2)) -ne 0 ] && break
    sleep 0.01
done
kill -INT $!
status=0; wait $! || status=$?
case $status in
130) grep -q "interrupted" "$work/err" || fail "interrupted without saying so" ;;
0) echo "note: the sync ended before the interrupt reached it" ;;
*) fail "an interrupted sync ended with $status: $(cat "$work/err")" ;;
esac
ls -a "$work/two" | grep -q '^~' && fail "a temporary is left: $(ls -a "$work/two")"
[ ! -e "$work/two/big.bin" ] || cmp -s "$work/one/big.bin" "$work/two/big.bin" || fail "big.bin is half a copy"
echo "command line: all checks passed"
