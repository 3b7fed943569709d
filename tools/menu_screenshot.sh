#!/usr/bin/env bash
# Draws docs/screenshots/menu-entry.png: the Debian package of build/ unpacked into a scratch
# root, and a desktop launcher (rofi) under Xvfb finding its menu entry and icon there.
#   bash tools/menu_screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs/screenshots/menu-entry.png

if [[ ${TAPELOOM_MENU_INSIDE_X:-} != 1 ]]; then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" > "$scratch/cpack.log"
    dpkg -x "$scratch"/out/tapeloom_*.deb "$scratch/root"
    mkdir -p "$scratch/home"
    TAPELOOM_MENU_INSIDE_X=1 TAPELOOM_MENU_ROOT=$scratch/root HOME=$scratch/home \
        xvfb-run -a -s "-screen 0 640x400x24" bash "$0" "$build"
    echo "wrote $out"
    exit 0
fi

# Inside the X server: the scratch root is where the system would keep the installed files
# (the launcher checks TryExec against PATH and finds the icon through XDG_DATA_DIRS).
root=$TAPELOOM_MENU_ROOT
export PATH=$root/usr/bin:$PATH
export XDG_DATA_DIRS=$root/usr/share:/usr/share
rofi -show drun -show-icons -filter tapeloom -location 1 \
    -theme-str '* { font: "DejaVu Sans 13"; }
                window { width: 460px; }
                listview { lines: 1; scrollbar: false; }
                element-icon { size: 48px; }' &
launcher=$!
sleep 3
shot=$(mktemp --suffix=.png)
import -window root "$shot"
kill "$launcher"
convert "$shot" -trim +repage "$out"
rm -f "$shot"
