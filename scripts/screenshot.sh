#!/usr/bin/env bash
# Writes docs/screenshot.png: the station form as it opens on the demo
# database (station KIV), under a virtual X server.
#
#   scripts/screenshot.sh [OUTPUT.png]
#
# Needs xvfb-run (xvfb), xwininfo (x11-utils) and import (imagemagick).
# Starts ./run.sh KIV in the background, waits for the form's window, grabs
# just that window and stops the editor again.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/docs/screenshot.png}
case "$OUT" in /*) ;; *) OUT=$PWD/$OUT ;; esac
TITLE="Установка параметров станции"

if [ -z "${SCREENSHOT_INSIDE_X:-}" ]; then
    for tool in xvfb-run xwininfo import; do
        command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing" >&2; exit 1; }
    done
    mkdir -p "$(dirname "$OUT")"
    export SCREENSHOT_INSIDE_X=1
    exec xvfb-run -a -s "-screen 0 1280x900x24 -dpi 96" "$0" "$OUT"
fi

# Inside the virtual display from here on.
unset QT_QPA_PLATFORM
"$ROOT/run.sh" KIV >/tmp/screenshot-editor.log 2>&1 &
editor=$!
stop() { kill "$editor" 2>/dev/null || true; wait "$editor" 2>/dev/null || true; }
trap stop EXIT

# run.sh builds the editor first, which may take minutes.
window=
for _ in $(seq 1 1200); do
    if ! kill -0 "$editor" 2>/dev/null; then
        echo "screenshot.sh: the editor ended before its form showed; its output:" >&2
        cat /tmp/screenshot-editor.log >&2
        exit 1
    fi
    window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$TITLE\"" | awk '{print $1}' | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.5
done
[ -n "$window" ] || { echo "screenshot.sh: the form's window did not appear" >&2; exit 1; }
sleep 2  # let the form load its station and paint
import -window "$window" "$OUT"
echo "screenshot.sh: wrote $OUT" >&2
