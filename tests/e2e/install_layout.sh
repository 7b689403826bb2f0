#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there: the program in a
# folder of its own with a link to its sample folders in share/ beside it (their files at
# their fixed times) and a link in bin/, a valid desktop entry, and the icon in the hicolor theme, each PNG
# the size its folder names. Nothing else is installed.
# Usage: install_layout.sh CMAKE BUILD_DIR SOURCE_DIR BINDIR LIBDIR DATADIR
set -euo pipefail
cmake=$1 build=$2 source=$3 bindir=$4 libdir=$5 datadir=$6

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
    cat "$prefix.log" >&2
    rm -f "$prefix.log"
    fail "cmake --install failed"
}
rm -f "$prefix.log"
home=$libdir/quellomir
sizes=(16 32 48 64 128 256)

# Every file and link installed, the sample folders' files apart.
app_id=example.venmarro.Quellomir
samples=$datadir/quellomir/Samples
expected=("$bindir/quellomir" "$home/quellomir" "$home/Samples" "$datadir/applications/$app_id.desktop"
          "$datadir/metainfo/$app_id.metainfo.xml" "$datadir/man/man1/quellomir.1.gz"
          "$datadir/doc/quellomir/copyright" "$datadir/doc/quellomir/changelog.Debian.gz"
          "$datadir/doc/quellomir/README.md.gz"
          "$datadir/icons/hicolor/scalable/apps/quellomir.svg")
for size in "${sizes[@]}"; do
    expected+=("$datadir/icons/hicolor/${size}x$size/apps/quellomir.png")
done
for optional in x/o.cjs HAND-M.CUR; do
    [ ! -e "$source/resources/$optional" ] || expected+=("$home/$optional")
done
installed=$(cd "$prefix" && find . -mindepth 1 \( -type f -o -type l \) ! -path "./$samples/*" |
    sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$installed" = "$wanted" ] || fail "installed:
$installed
expected:
$wanted"

# The link in bin/ reaches the program, which finds its folder through it.
[ -L "$prefix/$bindir/quellomir" ] || fail "$bindir/quellomir is no link"
[ "$(readlink -f "$prefix/$bindir/quellomir")" = "$(readlink -f "$prefix/$home/quellomir")" ] ||
    fail "$bindir/quellomir leads to $(readlink -f "$prefix/$bindir/quellomir")"
[ -x "$prefix/$home/quellomir" ] || fail "$home/quellomir cannot be run"

# The sample folders: the same files as in the repository, at the times samples/times.txt
# gives them (git keeps none).
[ "$(readlink -f "$prefix/$home/Samples")" = "$(readlink -f "$prefix/$samples")" ] ||
    fail "$home/Samples leads to $(readlink -f "$prefix/$home/Samples"), not to $samples"
samples_installed=$(cd "$prefix/$home/Samples/" && find . -type f | sort)
samples_wanted=$(cd "$source/samples" && find Folder1 Folder2 -type f | sed 's|^|./|' | sort)
[ "$samples_installed" = "$samples_wanted" ] || fail "sample files installed:
$samples_installed
expected:
$samples_wanted"
while read -r path seconds; do
    [ -n "$path" ] || continue
    time=$(stat -c %Y "$prefix/$home/Samples/$path")
    [ "$time" = "$seconds" ] || fail "sample $path was last written at $time, not $seconds"
    cmp -s "$source/samples/$path" "$prefix/$home/Samples/$path" || fail "sample $path differs"
done <"$source/samples/times.txt"

# The desktop entry is valid and names the program and the icon as they are installed.
entry=$prefix/$datadir/applications/$app_id.desktop
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate finds fault with the desktop entry"
else
    fail "desktop-file-validate is not installed (tools/setup installs desktop-file-utils)"
fi
grep -qx 'Exec=quellomir' "$entry" || fail "the desktop entry does not start quellomir"
grep -qx 'Icon=quellomir' "$entry" || fail "the desktop entry does not show the quellomir icon"
grep -qx 'Name=Quellomir' "$entry" || fail "the desktop entry is not named Quellomir"

# The metainfo validates, names the desktop entry, and the manual page reads as one.
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/$datadir/metainfo/$app_id.metainfo.xml" >&2 ||
        fail "appstreamcli finds fault with the metainfo"
else
    fail "appstreamcli is not installed (tools/setup installs appstream)"
fi
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$prefix/$datadir/metainfo/$app_id.metainfo.xml" ||
    fail "the metainfo does not name the desktop entry"
zcat "$prefix/$datadir/man/man1/quellomir.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "the manual page"

# The icon: the drawing as it is, and PNGs of the sizes their folders name.
cmp -s "$source/resources/icons/quellomir.svg" "$prefix/$datadir/icons/hicolor/scalable/apps/quellomir.svg" ||
    fail "the scalable icon is not resources/icons/quellomir.svg"
for size in "${sizes[@]}"; do
    png=$prefix/$datadir/icons/hicolor/${size}x$size/apps/quellomir.png
    # A PNG starts with its 8-byte signature, then the header chunk: length, "IHDR", and
    # the width and height as 4-byte big-endian numbers.
    header=($(od -An -tu1 -N24 "$png"))
    [ "${header[1]} ${header[2]} ${header[3]}" = "80 78 71" ] || fail "${size}x$size/apps/quellomir.png is no PNG"
    width=$(((header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19]))
    height=$(((header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23]))
    [ "${width}x$height" = "${size}x$size" ] ||
        fail "${size}x$size/apps/quellomir.png is ${width}x$height"
done
echo "PASS: the install puts the program, its samples, the desktop entry, the metainfo, the manual page and the icons in place"
