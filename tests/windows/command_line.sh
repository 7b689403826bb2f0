#!/usr/bin/env bash
# The Windows command line under Wine, on real folders: paths typed and printed with "\",
# a name outside ASCII through UTF-16 and back, a sync whose copies match their sources byte
# for byte and time for time, and the older file in the Recycle Bin (Wine's is the desktop's
# Trash, here in a home of the test's own).
#   tests/windows/command_line.sh PATH-TO-quellomir.exe
set -euo pipefail
program=$1
work=$(mktemp -d)
drive="$WINEPREFIX/dosdevices/q:"
trap 'rm -rf "$work" "$drive"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$work/one/sub" "$work/two" "$HOME"
printf 'newer a\n' >"$work/one/a.txt"
printf 'caf\xc3\xa9\n' >"$work/one/sub/café ü.txt"
printf 'ok\n' >"$work/one/Ωμέγα 写真.txt" # outside the ANSI code page of every Western Windows
printf 'older a\n' >"$work/two/a.txt"
touch -d '2020-01-01 12:00' "$work/two/a.txt"
ln -sfn "$work" "$drive" # drive Q: is the test's folder

status=0
plan=$(wine "$program" compare 'Q:\one' 'Q:\two' 2>/dev/null) || status=$?
[ "$status" = 1 ] || fail "compare of folders with rows ended with $status, not 1"
expected=$(printf 'Q:\\one\\a.txt\twill overwrite an older\tQ:\\two\\a.txt\nQ:\\one\\sub\\café ü.txt\twill be copied to\tQ:\\two\\\nQ:\\one\\Ωμέγα 写真.txt\twill be copied to\tQ:\\two\\')
[ "$(sort <<<"$plan")" = "$(sort <<<"$expected")" ] || fail "the plan reads: $plan"

status=0
wine "$program" sync 'Q:\one' 'Q:\two' >"$work/out" 2>/dev/null || status=$?
[ "$status" = 0 ] || fail "sync ended with $status: $(cat "$work/out")"
[ "$(grep -c $'\tDone\t' "$work/out")" = 3 ] || fail "not every row done: $(cat "$work/out")"
for name in a.txt "café ü.txt" "Ωμέγα 写真.txt"; do
    source=$(find "$work/one" -name "$name")
    cmp -s "$source" "$work/two/$name" || fail "$name was not copied byte for byte"
    [ "$(stat -c %Y "$source")" = "$(stat -c %Y "$work/two/$name")" ] || fail "$name has another time"
done
trashed=$(find "$XDG_DATA_HOME/Trash/files" -type f 2>/dev/null)
[ "$(cat $trashed 2>/dev/null)" = "older a" ] || fail "the older a.txt is not in the Recycle Bin"
[ -z "$(find "$work" -name '.Trash*')" ] || fail "a Trash of the program's own was made"

wine "$program" compare 'Q:\one' 'Q:\two' >"$work/again" 2>/dev/null || fail "a second compare finds rows: $(cat "$work/again")"
wine "$program" compare 'Q:\one' 'relative' >/dev/null 2>&1 && fail "a relative folder was taken"
echo "command line under Wine: compare, sync and the second compare as expected"
