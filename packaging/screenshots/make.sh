#!/usr/bin/env bash
# Takes the AppStream screenshots from the real window under Xvfb with ImageMagick's import:
#   packaging/screenshots/make.sh [BUILD_DIR]
# viewer.png: a landscape drawn by ImageMagick (a sky gradient, a fractal plasma hill, a sun) in a folder
# with a few more pictures, fitted to the window with the file list shown; drawing.png: a DXF drawing
# of the tests (tests/data/dxf, made with ezdxf). The settings live in a temporary folder.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/pictures" "$work/config/lumenor"
# The file list shown, as a user browsing a folder has it.
echo '{"Software":{"Lumenor":{"System":{"FileListVisible":"1"}}}}' > "$work/config/lumenor/settings.json"
convert -size 1200x800 gradient:'#5b8fd6'-'#dbe7f5' \
  \( -size 1200x420 -seed 7 plasma:'#2e8b57'-'#1d5e3a' -blur 0x2 \) -geometry +0+380 -composite \
  -fill '#f4d03f' -draw 'circle 930,180 930,240' "$work/pictures/hills.jpg"
convert -size 640x480 -seed 3 plasma:fractal -blur 0x1 "$work/pictures/plasma.png"
convert -size 640x480 radial-gradient:'#c0392b'-'#3b4252' "$work/pictures/glow.png"
cp "$root/tests/data/dxf/ezdxf_r2000.dxf" "$work/pictures/plan.dxf"

shoot() { # FILE OUTPUT
  XDG_CONFIG_HOME="$work/config" "$build/lumenor" "$1" &
  local pid=$!
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --pid "$pid" --onlyvisible --name Lumenor 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.2
  done
  # No window manager under Xvfb: the window is sized by hand, then the picture fitted (Best Fit, keypad /).
  xdotool windowsize "$id" 1100 700
  sleep 1
  xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  xdotool key --window "$id" KP_Divide
  sleep 1.5
  import -window "$id" "$2"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
export -f shoot
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  set -e
  work='$work' build='$build'
  $(declare -f shoot)
  shoot '$work/pictures/hills.jpg' '$here/viewer.png'
  shoot '$work/pictures/plan.dxf' '$here/drawing.png'
"
echo "made $here/viewer.png and $here/drawing.png"
