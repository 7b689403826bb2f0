#!/usr/bin/env bash
# End to end: the program installed into a temporary prefix and started through its link
# in bin/, as the desktop entry starts it, under a real X server. "Load Sample/Example
# Folders" must fill both slots with the sample folders installed beside the program,
# which the settings file then names.
# Usage: installed_program_finds_its_samples.sh CMAKE BUILD_DIR BINDIR LIBDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/x_session.sh"

# Under Xvfb: start the program by the name the desktop entry gives, from bin/.
if [ "${1:-}" = --drive ]; then
    PATH=$prefix/$bindir:$PATH start_program quellomir "$work/program.log"
    click_at 400 21 # "Load Sample/Example Folders"
    wait_until 10 "the settings file to name both sample folders" grep -q '^ListView2=' "$settings"
    close_program
    exit 0
fi

cmake=$1 build=$2
export bindir=$3 libdir=$4
need_x_server
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export work prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$work/install.log")"

export XDG_CONFIG_HOME=$work/config
export settings=$XDG_CONFIG_HOME/Venmarro.conf
mkdir -p "$XDG_CONFIG_HOME"
in_x_server "$work/program.log" "$0" --drive

# The program's folder as it sees it: the link in bin/ resolved.
home=$(readlink -f "$prefix/$libdir/quellomir")
for slot in 1 2; do
    stored=$(sed -n "s/^ListView$slot=//p" "$settings")
    [ "$stored" = "$home/Samples/Folder$slot/" ] ||
        fail "Folder $slot holds \"$stored\", not the installed sample folder $home/Samples/Folder$slot/"
    [ -n "$(ls -A "$stored")" ] || fail "the sample folder $stored is empty"
done
echo "PASS: the installed program found the sample folders beside it"
