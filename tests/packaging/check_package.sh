#!/usr/bin/env bash
# Builds the Debian package of a finished build tree into a scratch folder and checks it as a
# user's machine would meet it: the control fields, the file list against contents.txt, then
# the programs, the menu entry, the metadata and the manual pages unpacked into a scratch root.
#   check_package.sh BUILD_DIR VERSION CONTENTS_TXT BUILT_CLI
set -uo pipefail
build=$1 version=$2 expected_contents=$3 built_cli=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}
# Runs a command; on failure its output is shown and the check counted as failed.
check() {
    local what=$1
    shift
    local out
    if ! out=$("$@" 2>&1); then
        fail "$what"
        printf '%s\n' "$out" >&2
    fi
}

# --- The package -------------------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" > "$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB"
    exit 1
fi
shopt -s nullglob
debs=("$scratch"/out/*.deb)
if ((${#debs[@]} != 1)); then
    fail "expected one package, found ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "tapeloom_${version}_${arch}.deb" ]] ||
    fail "package file name $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == tapeloom ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), want $version"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ $(field Section) == utils ]] || fail "Section: $(field Section)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
# Found by dpkg-shlibdeps from the programs, plus the display plug-ins named by hand.
depends=$(field Depends)
depends_names=$(tr ',' '\n' <<< "$depends" | sed -E 's/^ +//; s/[ (|].*//')
for needed in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 \
              qt6-qpa-plugins; do
    grep -q -x -F "$needed" <<< "$depends_names" || fail "Depends lacks $needed: $depends"
done
description=$(field Description)
[[ $(head -n1 <<< "$description") == *"ZX Spectrum snapshots"* ]] ||
    fail "Description summary: $(head -n1 <<< "$description")"
(($(wc -l <<< "$description") >= 5)) || fail "Description has no long text"

# Every file and link with its mode, owned by root; directories are left out.
dpkg-deb --contents "$deb" > "$scratch/listing"
if awk '$2 != "root/root"' "$scratch/listing" | grep -q .; then
    fail "files not owned by root:"
    awk '$2 != "root/root"' "$scratch/listing" >&2
fi
awk '$1 !~ /^d/ { print $1, $6 }' "$scratch/listing" | sort > "$scratch/contents"
sort "$expected_contents" > "$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/contents" > "$scratch/contents.diff"; then
    fail "package contents differ from contents.txt (- expected, + packaged):"
    cat "$scratch/contents.diff" >&2
fi

# cmake --install under another prefix puts the same files there.
if cmake --install "$build" --prefix "$scratch/prefix" > /dev/null 2>&1; then
    (cd "$scratch/prefix" && find . ! -type d | sed 's|^\./|./usr/|' | sort) > "$scratch/installed"
    awk '{ print $2 }' "$scratch/expected" | sort | diff -u - "$scratch/installed" >&2 ||
        fail "cmake --install --prefix installs other files than the package holds"
else
    fail "cmake --install --prefix"
fi

# --- Unpacked into a scratch root ----------------------------------------------------------
root=$scratch/root
dpkg -x "$deb" "$root" || {
    fail "dpkg -x"
    exit 1
}
usr=$root/usr
for program in tapeloom tapeloom-cli; do
    binary=$usr/bin/$program
    [[ $(file -b "$binary") == *ELF*", stripped"* ]] || fail "$program is not a stripped ELF file"
    if readelf --dynamic "$binary" | grep -E -q 'RPATH|RUNPATH'; then
        fail "$program keeps a library search path: $(readelf --dynamic "$binary" | grep -E 'RPATH|RUNPATH')"
    fi
done

cli=$usr/bin/tapeloom-cli
version_text=$("$cli" --version 2>&1) || fail "tapeloom-cli --version exit status"
[[ $(head -n1 <<< "$version_text") == "tapeloom-cli (Tapeloom) $version" ]] ||
    fail "tapeloom-cli --version printed: $version_text"

# A 48K .sna (27-byte header, then 48 KiB from address 16384) with stripes on its screen.
work=$scratch/work
mkdir -p "$work/installed" "$work/built"
python3 - "$work/game.sna" << 'EOF'
import sys
header = bytearray(27)
header[23:25] = (0x00, 0xFF)  # SP
header[25] = 1                # interrupt mode
memory = bytearray(49152)
for i in range(6144):
    memory[i] = 0xF0 if (i >> 5) & 1 else 0x0F
for i in range(768):
    memory[6144 + i] = (i % 8) | ((7 - i % 8) << 3) | (0x40 if i & 256 else 0)
open(sys.argv[1], "wb").write(bytes(header + memory))
EOF
# The installed program does exactly what the tested one in the build tree does.
for side in installed built; do
    program=$cli
    [[ $side == built ]] && program=$built_cli
    cd "$work/$side"
    check "$side tapeloom-cli create" "$program" create --yes --force ../game.sna
    check "$side tapeloom-cli preview" "$program" preview ../game.sna --png game.png
done
cd "$scratch"
[[ -s $work/installed/tpl.gba ]] || fail "installed tapeloom-cli create wrote no tpl.gba"
cmp -s "$work/installed/tpl.gba" "$work/built/tpl.gba" ||
    fail "tpl.gba from the installed tapeloom-cli differs from the build tree's"
[[ $(file -b "$work/installed/game.png") == "PNG image data, 256 x 192"* ]] ||
    fail "preview wrote $(file -b "$work/installed/game.png")"
cmp -s "$work/installed/game.png" "$work/built/game.png" ||
    fail "preview from the installed tapeloom-cli differs from the build tree's"
ini_has() { tr -d '\r' < "$1" | grep -q -x -F "$2"; }
ini_has "$work/installed/TPL.INI" "Version=$version" || fail "TPL.INI lacks Version=$version"

# The window starts from the scratch root, shows its pictures and quits.
mkdir -p "$work/window" "$work/shots"
(cd "$work/window" &&
    QT_QPA_PLATFORM=offscreen TAPELOOM_SCREENSHOTS=$work/shots timeout 60 "$usr/bin/tapeloom" \
        > "$scratch/window.log" 2>&1) || {
    fail "installed tapeloom did not start and quit"
    cat "$scratch/window.log" >&2
}
[[ $(file -b "$work/shots/main-window.png") == "PNG image data"* ]] ||
    fail "installed tapeloom drew no main window"
ini_has "$work/window/TPL.INI" "Version=$version" ||
    fail "installed tapeloom wrote no Version=$version"

# --- Menu entry, icons, metadata, manual pages ---------------------------------------------
share=$usr/share
check "desktop-file-validate" desktop-file-validate "$share/applications/tapeloom.desktop"
metainfo=("$share"/metainfo/*.metainfo.xml)
check "appstreamcli validate" appstreamcli validate --no-net --pedantic "${metainfo[@]}"
# The whole tree: the metadata's launchable entry and the icon it names are installed.
check "appstreamcli validate-tree" appstreamcli validate-tree --no-net --pedantic "$root"
grep -q "<release version=\"$version\"" "${metainfo[@]}" ||
    fail "AppStream release is not $version"
grep -q "<launchable type=\"desktop-id\">tapeloom.desktop</launchable>" "${metainfo[@]}" ||
    fail "AppStream metadata does not launch tapeloom.desktop"
grep -q -x "Icon=tapeloom" "$share/applications/tapeloom.desktop" || fail "desktop entry icon"
grep -q -x "Exec=tapeloom" "$share/applications/tapeloom.desktop" || fail "desktop entry command"
for png in "$share"/icons/hicolor/*x*/apps/tapeloom.png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    [[ $(file -b "$png") == "PNG image data, ${size/x/ x }, "* ]] ||
        fail "icon in $size is $(file -b "$png")"
done
for page in "$share"/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 > /dev/null)
    [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
    zcat "$page" | head -n1 | grep -q "\"Tapeloom $version\"" ||
        fail "$(basename "$page") does not name version $version"
done

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package $(basename "$deb"): $(wc -l < "$scratch/contents") files, all checks passed"
