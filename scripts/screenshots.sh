#!/usr/bin/env bash
# Screenshots of the operator's window on a virtual display (Xvfb): the collector runs on a
# portable root in a temporary folder, without the Orvanta automation server (NOORVANTA), and
# tarvo-sim plays one connected analyzer with three patients, their values and an automatic
# control. Saves into DIR (default docs/):
#   main-window.png        the main window at 982 x 613
#   main-window-trend.png  the same window on its trend page
#   main-window-1024.png   the main window on a 1024 x 768 screen
#   main-window-2x.png     the main window at double scale (QT_SCALE_FACTOR=2) on 1280 x 800
#   main-window-2x-1024.png the main window at double scale on 1024 x 768 (512 x 384 logical)
#   main-window-small.png  the main window on a 700 x 450 screen
#   settings-narrow.png    the settings dialog as it opens
#   settings-wide.png      the settings dialog with "Advanced" pressed
#   new-patient.png        the New Patient window after a patient file was created
# Usage: scripts/screenshots.sh [DIR]    (builds nothing: uses build/bin, else build-sanitize/bin)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${TARVO_BIN:-}" ]; then
  TARVO_BIN=build/bin
  [ -x "$TARVO_BIN/tarvo-collect" ] || TARVO_BIN=build-sanitize/bin
fi
TARVO_BIN=$(realpath "$TARVO_BIN")
export TARVO_BIN

if [ "${1:-}" != --session ]; then
  out=$(realpath -m "${1:-docs}")
  mkdir -p "$out"
  for tool in xvfb-run import xwininfo python3; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
  done
  # One display large enough for the window as designed, and one smaller than it.
  xvfb-run -a -s "-screen 0 1280x800x24" "$0" --session large "$out"
  xvfb-run -a -s "-screen 0 1024x768x24" "$0" --session 1024 "$out"
  QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1280x800x24" "$0" --session 2x "$out"
  QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --session 2x-1024 "$out"
  xvfb-run -a -s "-screen 0 700x450x24" "$0" --session small "$out"
  echo "screenshots: saved in $out"
  exit 0
fi

# --- One session on the virtual display ---------------------------------------------------
size=$2
out=$3
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=detect_leaks=0
root=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

# Only the designed window is clicked at its buttons; the others start collecting by themselves
# once the analyzer is connected.
autostart=0
[ "$size" = large ] || autostart=1
cat >"$root/HKEY_CURRENT_USER.ini" <<EOF
[SOFTWARE\\Keldamed AB\\Panoptra\\External Collect\\1.0\\Tarvo]
Port=dword:$port
AutoCreate=dword:1
AutoStart=dword:$autostart
AutoHide=dword:0
ExternalMediaDrive="E"
EOF

# Clicks at a point of the screen through the X test extension.
click() {
  python3 - "$1" "$2" <<'EOF'
import ctypes, sys
x11 = ctypes.CDLL("libX11.so.6")
xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                      ctypes.c_ulong]
display = x11.XOpenDisplay(None)
xtst.XTestFakeMotionEvent(display, -1, int(sys.argv[1]), int(sys.argv[2]), 0)
xtst.XTestFakeButtonEvent(display, 1, 1, 0)
xtst.XTestFakeButtonEvent(display, 1, 0, 50)
x11.XFlush(display)
x11.XCloseDisplay(display)
EOF
}

# The id of the top-level window whose title starts with $1 (waits up to 15 s for it).
window_id() {
  local id
  for _ in $(seq 150); do
    id=$(xwininfo -root -children 2>/dev/null | grep -F "\"$1" | awk '{print $1}' | head -n1)
    if [ -n "$id" ] && xwininfo -id "$id" | grep -q "IsViewable"; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  echo "screenshots: no window \"$1\"" >&2
  return 1
}

# The absolute position of a window: "X Y".
origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}

sim() {
  "$TARVO_BIN/tarvo-sim" --port "$port" "$@" >/dev/null
}

"$TARVO_BIN/tarvo-collect" NOORVANTA --root "$root" 2>"$root/collector.err" &
pids+=($!)
main=$(window_id "Tarvo Data")

if [ "$size" = large ]; then
  # The settings dialog opens from "Settings" while the collector is not collecting.
  read -r x y < <(origin "$main")
  click $((x + 316)) $((y + 133))
  settings=$(window_id "Settings")
  sleep 0.5
  import -window "$settings" "$out/settings-narrow.png"
  read -r sx sy < <(origin "$settings")
  click $((sx + ${ADVANCED_X:-270})) $((sy + ${ADVANCED_Y:-380}))
  sleep 0.5
  import -window "$settings" "$out/settings-wide.png"
  # Cancel, at the bottom right of the dialog.
  read -r sw sh < <(xwininfo -id "$settings" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  click $((sx + sw - ${CANCEL_FROM_RIGHT:-45})) $((sy + sh - ${CANCEL_FROM_BOTTOM:-23}))
  sleep 0.5
fi

# One analyzer stays connected while the screenshots are taken. It connects from an address of
# its own: the senders of the values below all come from 127.0.0.1, and the connection list
# leaves out every connection of the address that disconnects.
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.2", 0)); s.connect(("127.0.0.1", int(sys.argv[1])))
time.sleep(600)' "$port" &
pids+=($!)
sleep 1.5
if [ "$size" = large ]; then
  read -r x y < <(origin "$main")
  click $((x + 316)) $((y + 59)) # Start
  sleep 0.5
fi

sim live 19521103-1187 Glucose 5.4 --first Anders --last Holm
newpatient=$(window_id "New Patient") || true
[ -n "$newpatient" ] && [ "$size" = large ] && import -window "$newpatient" "$out/new-patient.png"
sim live 19521103-1187 Lactate 2.31 --first Anders --last Holm
sim live 19521103-1187 Pyruvate 0.142 --first Anders --last Holm
sim live 19870612-3309 Glucose 7.2 --first Sofia --last Ek --place Muscle
sim control low Glucose 2.02
sim live 19640321-2245 Glucose 6.3 --first Karin --last Lindqvist
sim live 19640321-2245 Lactate 3.05 --first Karin --last Lindqvist
sim live 19640321-2245 Pyruvate 0.151 --first Karin --last Lindqvist
sim live 19640321-2245 Glycerol 41.5 --unit umol/L --first Karin --last Lindqvist
sim live 19640321-2245 Glutamate 8.9 --unit umol/L --first Karin --last Lindqvist
sleep 6 # the New Patient window hides itself after 5 s

case "$size" in
  large)
    import -window "$main" "$out/main-window.png"
    # The trend page, from its tab at the bottom left, of a patient whose data file holds values:
    # a patient-data document is archived and rebuilds the file (live values reach it that way).
    sim document 19640321-2245 --measurements 24
    sleep 2
    read -r x y < <(origin "$main")
    read -r w h < <(xwininfo -id "$main" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    click $((x + ${TREND_TAB_X:-300})) $((y + h - ${TREND_TAB_FROM_BOTTOM:-17}))
    sleep 1
    import -window "$main" "$out/main-window-trend.png"
    ;;
  small) import -window "$main" "$out/main-window-small.png" ;;
  *) import -window "$main" "$out/main-window-$size.png" ;;
esac
